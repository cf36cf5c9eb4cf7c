#include "config/ini_file.h"

#include "common/ascii.h"
#include "platform/files.h"
#include "platform/system.h"

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

// One line that means something to the reader: a "[Name]" line or a
// key=value line. Blank lines, comments and lines without '=' are skipped.
struct ScannedLine {
    std::size_t number = 0;
    bool isSection = false;
    std::string_view name;  // the section's name, or the key
    std::string_view value; // key lines: blanks and one pair of quotes removed, not yet cut
    bool quoted = false;
};

// The one walk over the file that every lookup and listing shares, so they
// cannot disagree about what a line means.
class LineScanner {
public:
    // `contents` without its byte-order mark, as EightBitText leaves it.
    explicit LineScanner(std::string_view contents) : rest_(contents) {}

    bool Next(ScannedLine& out)
    {
        while (!rest_.empty()) {
            const std::string_view line = TrimBlanks(NextLine(rest_));
            ++number_;
            if (line.starts_with('[')) {
                out = {number_, true, TrimBlanks(line.substr(1, line.find(']') - 1)), {}, false};
                return true;
            }
            const std::size_t equals = line.find('=');
            if (equals == std::string_view::npos) {
                continue;
            }
            const std::string_view written = TrimBlanks(line.substr(equals + 1));
            const std::string_view value = Unquote(written);
            out = {number_, false, TrimBlanks(line.substr(0, equals)), value, value.size() != written.size()};
            return true;
        }
        return false;
    }

private:
    std::string_view rest_;
    std::size_t number_ = 0;
};

std::string CutToValueLength(std::string_view value)
{
    return std::string(value.substr(0, kMaxIniValueLength));
}

IniFile::Encoding EncodingOf(std::string_view bytes)
{
    if (bytes.starts_with(kUtf8ByteOrderMark)) {
        return IniFile::Encoding::kUtf8;
    }
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        return IniFile::Encoding::kUtf16;
    }
    return IniFile::Encoding::kCodePage;
}

// The file's text as 8-bit text: UTF-8 or UTF-16 with its byte-order mark
// decoded and put into the code page, anything else as it is. A last odd
// byte of UTF-16 is no character and is dropped. `encoding` is EncodingOf(bytes).
std::string EightBitText(std::string bytes, IniFile::Encoding encoding)
{
    if (encoding == IniFile::Encoding::kCodePage) {
        return bytes;
    }
    if (encoding == IniFile::Encoding::kUtf8) {
        return CodePageFromUtf8(std::string_view(bytes).substr(kUtf8ByteOrderMark.size()));
    }
    const bool littleEndian = bytes.starts_with("\xFF\xFE");
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

IniFile IniFile::FromFile(Result<std::string> file)
{
    if (file.ok()) {
        return IniFile(std::move(*file));
    }
    IniFile ini{std::string()};
    if (!IsMissing(file.error())) {
        ini.problem_ = file.error().reason;
    }
    return ini;
}

IniFile IniFile::Load(const std::string& path)
{
    return FromFile(ReadFileBytes(path, kMaxIniFileBytes));
}

IniFile IniFile::LoadFromSystemPath(const std::filesystem::path& path)
{
    return FromFile(ReadFileBytesAtSystemPath(path, kMaxIniFileBytes));
}

IniFile::IniFile(std::string contents)
    : encoding_(EncodingOf(contents)), contents_(EightBitText(std::move(contents), encoding_))
{
}

std::vector<IniEntry> IniFile::Entries() const
{
    std::vector<IniEntry> entries;
    std::string_view section;
    bool aboveFirstSection = true;
    LineScanner scanner(contents_);
    for (ScannedLine line; scanner.Next(line);) {
        IniEntry entry;
        entry.lineNumber = line.number;
        if (line.isSection) {
            section = line.name;
            aboveFirstSection = false;
            entry.isSection = true;
        } else {
            entry.key = std::string(line.name);
            entry.value = CutToValueLength(line.value);
            entry.writtenLength = line.value.size();
            entry.quoted = line.quoted;
        }
        entry.section = std::string(section);
        entry.aboveFirstSection = aboveFirstSection;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string ReadIniValue(std::string_view section, std::string_view key, std::string_view defaultText,
                         const IniFile& file)
{
    const std::string_view wantedSection = TrimBlanks(section);
    const std::string_view wantedKey = TrimBlanks(key);
    bool inSection = false;
    LineScanner scanner(file.contents_);
    for (ScannedLine line; scanner.Next(line);) {
        if (line.isSection) {
            inSection = EqualsIgnoringAsciiCase(line.name, wantedSection);
        } else if (inSection && EqualsIgnoringAsciiCase(line.name, wantedKey)) {
            return CutToValueLength(line.value);
        }
    }
    return CutToValueLength(defaultText);
}

} // namespace vornix7
