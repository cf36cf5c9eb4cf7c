#pragma once

#include <string>
#include <string_view>

#include "common/utf8.h"

namespace vornix7 {

// A log's bytes as UTF-8 for the page and the workbook: a well-formed UTF-8
// character from U+0080 up as it is (but not U+FFFE or U+FFFF where
// `forXml`: XML has no such characters), any other byte from 0x80 up as its
// Latin-1 letter (the log is in the system's 8-bit code page, and its name
// still shows its letters), and each byte below 0x80 handed to
// `appendAscii(out, byte)`, which writes it as the text's form needs.
template <typename AppendAscii>
std::string Utf8Text(std::string_view bytes, bool forXml, AppendAscii appendAscii)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            appendAscii(out, bytes[i]);
            ++i;
            continue;
        }
        const std::string_view character = bytes.substr(i, Utf8CharacterLength(bytes.substr(i)));
        if (!character.empty() && !(forXml && (character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF"))) {
            out.append(character);
            i += character.size();
        } else {
            AppendUtf8(out, byte);
            ++i;
        }
    }
    return out;
}

} // namespace vornix7
