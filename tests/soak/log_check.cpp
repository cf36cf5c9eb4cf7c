#include "log_check.h"

#include <cctype>

// GCC 12 with -fsanitize=address warns that <regex>'s own std::function
// members may be used uninitialized: a false positive inside the library,
// reported wherever a regex is built, so it is silenced for this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#include <string_view>

#include "common/sensor_table.h"
#include "scripted_device.h"

namespace vornix7::soak {

namespace {

constexpr int kSensors = 8; // LastSensor=7

// The log line's form, written out independently of the formatter: time
// stamp, a device name without comma or quote (the script's names have
// none), eight readings "0.##", the status.
std::regex LineForm(char timeSeparator)
{
    std::string sep(1, timeSeparator);
    if (!std::isalnum(static_cast<unsigned char>(timeSeparator))) {
        sep = "\\" + sep;
    }
    std::string form =
        "(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2})" + sep + "(\\d{2})" + sep + "(\\d{2}),([^,\"\r\n]*)";
    for (int sensor = 0; sensor < kSensors; ++sensor) {
        form += ",(-?\\d+\\.\\d{0,2})";
    }
    return std::regex(form + ",(OK|ERROR)");
}

int PollOfTime(const std::smatch& m)
{
    const int day = std::stoi(m[3]);
    const int hour = std::stoi(m[4]);
    const int minute = std::stoi(m[5]);
    const int second = std::stoi(m[6]);
    return (day - 1) * 24 * 3600 + hour * 3600 + minute * 60 + second;
}

// The name the device last reported before or at `poll`; failed polls keep it.
std::string LastGoodName(int poll)
{
    for (int p = poll; p >= 0; --p) {
        if (AnswerFor(p) == Answer::Good) {
            return NameFor(p);
        }
    }
    return "";
}

// Empty when the line's fields are right for its poll, else what is wrong.
std::string ContentProblem(const std::smatch& m, int poll)
{
    const bool good = AnswerFor(poll) == Answer::Good;
    const std::string status = m[7 + kSensors + 1];
    if (status != (good ? "OK" : "ERROR")) {
        return "status " + status;
    }
    if (m[7] != LastGoodName(poll)) {
        return "device name '" + m[7].str() + "'";
    }
    for (int sensor = 0; sensor < kSensors; ++sensor) {
        const double expected = good ? ReadingFor(poll, sensor) : NoReading;
        if (std::stod(m[8 + sensor]) != expected) {
            return "t" + std::to_string(sensor) + " = " + m[8 + sensor].str();
        }
    }
    return "";
}

} // namespace

LogReport CheckLog(const std::string& log, int polls, char timeSeparator)
{
    LogReport report;
    const std::regex form = LineForm(timeSeparator);
    std::vector<bool> seen(static_cast<std::size_t>(polls), false);
    auto note = [&report](int line, const std::string& what) {
        if (report.examples.size() < 10) {
            report.examples.push_back("line " + std::to_string(line + 1) + ": " + what);
        }
    };

    int previous = -1;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = log.substr(start, end - start);
        const int index = report.lines++;
        std::smatch m;
        if (!std::regex_match(line, m, form)) {
            ++report.malformed;
            note(index, "malformed: " + line);
            continue;
        }
        const int poll = PollOfTime(m);
        if (poll >= polls) {
            ++report.wrongContent;
            note(index, "poll " + std::to_string(poll) + " was never made: " + line);
            continue;
        }
        if (seen[static_cast<std::size_t>(poll)]) {
            ++report.duplicated;
            note(index, "second line of poll " + std::to_string(poll));
        }
        if (poll < previous) {
            ++report.outOfOrder;
            note(index, "poll " + std::to_string(poll) + " after poll " + std::to_string(previous));
        }
        seen[static_cast<std::size_t>(poll)] = true;
        previous = poll;
        if (const std::string problem = ContentProblem(m, poll); !problem.empty()) {
            ++report.wrongContent;
            note(index, "poll " + std::to_string(poll) + ": " + problem + ": " + line);
        }
    }
    report.partialTail = start < log.size();
    for (int poll = 0; poll < polls; ++poll) {
        if (!seen[static_cast<std::size_t>(poll)]) {
            if (report.missing++ == 0 && report.examples.size() < 10) {
                report.examples.push_back("first poll without a line: " + std::to_string(poll));
            }
        }
    }
    return report;
}

} // namespace vornix7::soak
