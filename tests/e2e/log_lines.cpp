#include "log_lines.h"

#include <regex>

namespace vornix7::e2e {

namespace {

const std::regex kTimeStamp(R"(^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2}))");

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
    const std::string stamp = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})";
    const std::string name = R"(("([^"]|"")*"|[^",\r\n]*))";
    const std::string reading = R"(,-?(\d+\.\d{0,2}|inf))";
    const std::regex whole(stamp + "," + name + "(" + reading + "){" + std::to_string(readings) + "}"
                           + R"(,(OK|ERROR)\r\n)");
    return std::regex_match(line, whole);
}

std::string MaskTime(const std::string& line)
{
    return std::regex_replace(line, kTimeStamp, "<time>", std::regex_constants::format_first_only);
}

std::vector<std::string> MaskTimes(const std::vector<std::string>& lines)
{
    std::vector<std::string> masked;
    for (const auto& line : lines) {
        masked.push_back(MaskTime(line));
    }
    return masked;
}

std::optional<std::time_t> LineTime(const std::string& line)
{
    std::smatch match;
    if (!std::regex_search(line, match, kTimeStamp)) {
        return std::nullopt;
    }
    std::tm parts{};
    parts.tm_year = std::stoi(match[1]) - 1900;
    parts.tm_mon = std::stoi(match[2]) - 1;
    parts.tm_mday = std::stoi(match[3]);
    parts.tm_hour = std::stoi(match[4]);
    parts.tm_min = std::stoi(match[5]);
    parts.tm_sec = std::stoi(match[6]);
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
