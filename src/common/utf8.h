#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vornix7 {

// The length of the well-formed UTF-8 character at the start of `text` (1
// for ASCII), or 0 when its first byte does not begin one: the byte ranges
// of the Unicode standard, so no overlong form, no surrogate, nothing past
// U+10FFFF. `text` is not empty.
std::size_t Utf8CharacterLength(std::string_view text);

// Appends the character `code` (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

} // namespace vornix7
