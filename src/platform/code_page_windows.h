#pragma once

#include <string>
#include <string_view>

namespace vornix7 {

// Windows only: 8-bit text in the ANSI code page as the UTF-16 text that
// the system's wide (...W) functions take, and back ('?' for what the code
// page cannot hold).
std::wstring WideFromCodePage(std::string_view text);
std::string CodePageFromWide(std::wstring_view text);

} // namespace vornix7
