#pragma once

#include <string>
#include <string_view>

namespace vornix7 {

// Which bytes of a text must not reach a terminal, a log line or a one-line
// message as they are.
enum class ControlBytes {
    kAll,          // C0 (NUL to US, tab included) and DEL
    kAllButTab,    // the same, tab kept: it moves no cursor anywhere else
    kNonPrintable, // everything but blank to '~': also bytes from 0x80 up
    kLineEnds,     // CR and LF only: what would split a line
};

constexpr bool IsControlByte(char c, ControlBytes which)
{
    const auto byte = static_cast<unsigned char>(c);
    switch (which) {
    case ControlBytes::kAll:
        return byte < 0x20 || byte == 0x7F;
    case ControlBytes::kAllButTab:
        return (byte < 0x20 && c != '\t') || byte == 0x7F;
    case ControlBytes::kNonPrintable:
        return byte < 0x20 || byte >= 0x7F;
    case ControlBytes::kLineEnds:
        return c == '\r' || c == '\n';
    }
    return false;
}

// `text` with each of `which` bytes replaced by `replacement`.
inline std::string ReplaceControlBytes(std::string text, ControlBytes which, char replacement)
{
    for (char& c : text) {
        if (IsControlByte(c, which)) {
            c = replacement;
        }
    }
    return text;
}

// `text` with each of `which` bytes shown as \xNN (upper-case hex digits).
inline std::string EscapeControlBytes(std::string_view text, ControlBytes which)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        if (IsControlByte(c, which)) {
            const auto byte = static_cast<unsigned char>(c);
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace vornix7
