#include "config/ini_file.h"

#include "common/ascii.h"
#include "platform/code_page.h"
#include "platform/file_bytes.h"

namespace vornix7 {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string_view TrimBlanks(std::string_view text)
{
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t';
    };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && value.front() == value.back()
        && (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The next line of `rest` (without its line end), advancing `rest` past it.
std::string_view NextLine(std::string_view& rest)
{
    const std::size_t end = rest.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        const std::string_view line = rest;
        rest = {};
        return line;
    }
    const std::string_view line = rest.substr(0, end);
    std::size_t next = end + 1;
    if (rest[end] == '\r' && next < rest.size() && rest[next] == '\n') {
        ++next;
    }
    rest.remove_prefix(next);
    return line;
}

// The file's text as 8-bit text: UTF-16 with its byte-order mark decoded
// and put into the code page, anything else as it is. A last odd byte of
// UTF-16 is no character and is dropped.
std::string EightBitText(std::string bytes)
{
    const bool littleEndian = bytes.starts_with("\xFF\xFE");
    if (!littleEndian && !bytes.starts_with("\xFE\xFF")) {
        return bytes;
    }
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units += static_cast<char16_t>(littleEndian ? first | (second << 8) : (first << 8) | second);
    }
    return CodePageFromUtf16(units);
}

} // namespace

IniFile IniFile::Load(const std::string& path)
{
    FileBytes file = ReadFileBytes(path, kMaxIniFileBytes);
    IniFile ini(std::move(file.bytes));
    if (file.outcome == FileBytes::Outcome::kUnreadable) {
        ini.problem_ = std::move(file.problem);
    }
    return ini;
}

IniFile::IniFile(std::string contents) : contents_(EightBitText(std::move(contents))) {}

std::string IniFile::Value(std::string_view section, std::string_view key, std::string_view defaultText) const
{
    std::string_view rest = contents_;
    if (rest.starts_with(kUtf8ByteOrderMark)) {
        rest.remove_prefix(kUtf8ByteOrderMark.size());
    }
    const std::string_view wantedSection = TrimBlanks(section);
    const std::string_view wantedKey = TrimBlanks(key);
    bool inSection = false;
    while (!rest.empty()) {
        const std::string_view line = TrimBlanks(NextLine(rest));
        if (line.starts_with('[')) {
            const std::string_view name = line.substr(1, line.find(']') - 1);
            inSection = EqualsIgnoringAsciiCase(TrimBlanks(name), wantedSection);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) {
            continue;
        }
        if (EqualsIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), wantedKey)) {
            const std::string_view value = Unquote(TrimBlanks(line.substr(equals + 1)));
            return std::string(value.substr(0, kMaxIniValueLength));
        }
    }
    return std::string(defaultText.substr(0, kMaxIniValueLength));
}

std::string ReadIniValue(std::string_view section, std::string_view key, std::string_view defaultText,
                         const std::string& file)
{
    return IniFile::Load(file).Value(section, key, defaultText);
}

} // namespace vornix7
