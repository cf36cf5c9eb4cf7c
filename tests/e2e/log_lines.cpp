#include "log_lines.h"

#include <cctype>
#include <string_view>

namespace vornix7::e2e {

namespace {

constexpr std::size_t kStampLength = 19; // "YYYY-MM-DD hh:mm:ss"

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool StartsWithTimeStamp(std::string_view line)
{
    constexpr std::string_view pattern = "dddd-dd-dd dd:dd:dd";
    if (line.size() < kStampLength) {
        return false;
    }
    for (std::size_t i = 0; i < kStampLength; ++i) {
        if (pattern[i] == 'd' ? !IsDigit(line[i]) : line[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

// "0.##" as the log writes it, or inf, with an optional minus.
bool IsReading(std::string_view text)
{
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    if (text == "inf") {
        return true;
    }
    const auto point = text.find('.');
    if (point == 0 || point == std::string_view::npos || text.size() - point - 1 > 2) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != point && !IsDigit(text[i])) {
            return false;
        }
    }
    return true;
}

// Takes the device name field off the front: plain text without commas and
// quotes, or quoted with doubled quotes inside. False if it is neither.
bool TakeName(std::string_view& rest)
{
    if (!rest.starts_with('"')) {
        const auto comma = rest.find(',');
        if (comma == std::string_view::npos || rest.substr(0, comma).find('"') != std::string_view::npos) {
            return false;
        }
        rest.remove_prefix(comma);
        return true;
    }
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] != '"') {
            continue;
        }
        if (i + 1 < rest.size() && rest[i + 1] == '"') {
            ++i;
            continue;
        }
        rest.remove_prefix(i + 1);
        return rest.starts_with(',');
    }
    return false;
}

} // namespace

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end + 2 - start));
        start = end + 2;
    }
    return lines;
}

std::size_t WholeLineCount(const std::string& text)
{
    std::size_t count = 0;
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
        ++count;
    }
    return count;
}

bool IsWholeLine(const std::string& line, int readings)
{
    std::string_view rest = line;
    if (!rest.ends_with("\r\n") || !StartsWithTimeStamp(rest)) {
        return false;
    }
    rest.remove_suffix(2);
    if (rest.find_first_of("\r\n") != std::string_view::npos) {
        return false;
    }
    rest.remove_prefix(kStampLength);
    if (!rest.starts_with(',')) {
        return false;
    }
    rest.remove_prefix(1);
    if (!TakeName(rest)) {
        return false;
    }
    // What is left: ",reading" × readings, then ",OK" or ",ERROR".
    for (int i = 0; i < readings; ++i) {
        if (!rest.starts_with(',')) {
            return false;
        }
        rest.remove_prefix(1);
        const auto comma = rest.find(',');
        if (comma == std::string_view::npos || !IsReading(rest.substr(0, comma))) {
            return false;
        }
        rest.remove_prefix(comma);
    }
    return rest == ",OK" || rest == ",ERROR";
}

std::string MaskTime(const std::string& line)
{
    return StartsWithTimeStamp(line) ? "<time>" + line.substr(kStampLength) : line;
}

std::vector<std::string> MaskTimes(const std::vector<std::string>& lines)
{
    std::vector<std::string> masked;
    masked.reserve(lines.size());
    for (const auto& line : lines) {
        masked.push_back(MaskTime(line));
    }
    return masked;
}

std::optional<std::time_t> LineTime(const std::string& line)
{
    if (!StartsWithTimeStamp(line)) {
        return std::nullopt;
    }
    const auto number = [&line](std::size_t at, std::size_t length) {
        return std::stoi(line.substr(at, length));
    };
    std::tm parts{};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(5, 2) - 1;
    parts.tm_mday = number(8, 2);
    parts.tm_hour = number(11, 2);
    parts.tm_min = number(14, 2);
    parts.tm_sec = number(17, 2);
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

std::string OkLine(const std::string& name, const std::vector<std::string>& readings)
{
    std::string line = "<time>," + name;
    for (const auto& reading : readings) {
        line += "," + reading;
    }
    return line + ",OK\r\n";
}

std::string ErrorLine(const std::string& name, int readings)
{
    std::string line = "<time>," + name;
    for (int i = 0; i < readings; ++i) {
        line += std::string(",") + kFailedReading;
    }
    return line + ",ERROR\r\n";
}

std::vector<std::string> Times(int count, const std::string& line)
{
    return std::vector<std::string>(static_cast<std::size_t>(count), line);
}

} // namespace vornix7::e2e
