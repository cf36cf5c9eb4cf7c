#include "config/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/ascii.h"

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

std::string ReadFileBytes(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[65536];
        while (bytes.size() < kMaxIniFileBytes) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        if (bytes.size() > kMaxIniFileBytes) {
            bytes.resize(kMaxIniFileBytes);
        }
    }
    ::close(fd);
    return bytes;
}

} // namespace

IniFile IniFile::Load(const std::string& path)
{
    return IniFile(ReadFileBytes(path));
}

IniFile::IniFile(std::string contents) : contents_(std::move(contents)) {}

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
