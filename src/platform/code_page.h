#pragma once

#include <string>
#include <string_view>

namespace vornix7 {

// UTF-16 text (code units in machine order) as 8-bit text in the system's
// code page, the form every file and path of the program takes. A character
// the code page cannot hold, and a surrogate without its partner, becomes
// '?', as Windows' own readers of UTF-16 settings files do.
//
// The code page is the ANSI code page on Windows (CP_ACP) and UTF-8 on
// POSIX systems, whose file names and files are UTF-8 in every locale in
// use today; there only a lone surrogate becomes '?'.
std::string CodePageFromUtf16(std::u16string_view text);

} // namespace vornix7
