#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornix7 {

// The marker the logger writes for every reading of a failed poll.
inline constexpr double kNoReadingValue = -2048000.0;

// Seconds since 1970-01-01 00:00:00 of the log's local time, read as if it
// were UTC: the log carries no time zone, so times are shown as written.
using LogSeconds = std::int64_t;

// The calendar date and time of such a second count.
LogSeconds SecondsFromCivil(int year, int month, int day, int hour, int minute, int second);

// One poll as read from a log line.
struct LogRecord {
    LogSeconds time = 0;
    std::string deviceName; // as the device sent it: CSV quoting and the formula guard taken off
    bool ok = false;        // "OK"; false for "ERROR"
    // Readings 0..n-1; nullopt where the line has no reading (-2048000.,
    // inf, nan).
    std::vector<std::optional<double>> readings;
};

// A line that could not be read, and why.
struct LineProblem {
    std::string reason;
};

// Reads one log line (without its line end; a trailing CR is allowed) as
// the logger writes it and as earlier versions wrote it:
// - the time stamp "YYYY-MM-DD hh:mm:ss" with any time separator of one to
//   four bytes that are not digits (':' '.' and also ',' as old versions
//   wrote under such a locale);
// - the device name, quoted as CSV when it holds a comma or a quote, or
//   unquoted with commas in it (earlier versions): then the readings are the
//   longest run of fields before the status that look like readings;
// - up to 17 readings in the form "-?digits.digits", "inf", "-inf", "nan";
// - the status "OK" or "ERROR".
// Anything else is a LineProblem naming what is wrong.
struct ParsedLine {
    std::optional<LogRecord> record;
    LineProblem problem; // when record is empty
};
ParsedLine ParseLogLine(std::string_view line);

// Reads a time given on the command line: "YYYY-MM-DD", "YYYY-MM-DD hh:mm"
// or "YYYY-MM-DD hh:mm:ss" ('T' or a blank between date and time, any time
// separator). A date alone is its first second, or with `endOfDay` its last.
std::optional<LogSeconds> ParseTimeArgument(std::string_view text, bool endOfDay);

// "YYYY-MM-DD hh:mm:ss" of a second count.
std::string FormatLogSeconds(LogSeconds seconds);

} // namespace vornix7
