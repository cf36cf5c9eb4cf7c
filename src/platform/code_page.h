#pragma once

#include <filesystem>
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

// UTF-8 text as 8-bit text in the system's code page, by the same rules
// ('?' for a character the code page cannot hold, and for each byte that is
// not part of a well-formed UTF-8 character). Where the code page is UTF-8
// (POSIX systems; Windows set to code page 65001) the text is returned as
// it is, malformed bytes included.
std::string CodePageFromUtf8(std::string_view text);

// A path written as 8-bit text in the system's code page in the system's
// own form of paths (UTF-16 on Windows, the bytes as they are elsewhere),
// and back ('?' for what the code page cannot hold). std::filesystem::path's
// own conversions take 8-bit text as UTF-8 on Windows, which the ANSI code
// page is not, so paths cross between the two forms only here.
std::filesystem::path PathFromCodePage(std::string_view text);
std::string CodePageFromPath(const std::filesystem::path& path);

// What the system's code page is, as far as the bytes 0x80..0x9F go.
enum class CodePageKind {
    // UTF-8 (POSIX systems; Windows set to code page 65001): 0x80..0x9F
    // alone are no character, and U+0080..U+009F are the C1 controls that
    // 8-bit terminals obey (CSI, OSC, ...).
    kUtf8,
    // Another Windows ANSI code page: 1252 and its kin use 0x80..0x9F for
    // printable characters (the euro sign, curly quotes), the East Asian
    // ones as the first byte of a two-byte character.
    kOther,
};
CodePageKind SystemCodePageKind();

} // namespace vornix7
