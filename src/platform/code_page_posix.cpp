#include "platform/code_page.h"

namespace vornix7 {

namespace {

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string CodePageFromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10)
                               + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            AppendUtf8(out, c);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            out += '?';
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string CodePageFromUtf8(std::string_view text)
{
    return std::string(text);
}

std::filesystem::path PathFromCodePage(std::string_view text)
{
    return std::filesystem::path(std::string(text));
}

std::string CodePageFromPath(const std::filesystem::path& path)
{
    return path.native();
}

CodePageKind SystemCodePageKind()
{
    return CodePageKind::kUtf8;
}

} // namespace vornix7
