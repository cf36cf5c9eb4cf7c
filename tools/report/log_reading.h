#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/local_date_time.h"
#include "common/sensor_table.h"

namespace vornix7 {

// Seconds since 1970-01-01 00:00:00 of the log's local time, read as if it
// were UTC: the log carries no time zone, so times are shown as written.
using LogSeconds = std::int64_t;

// floor(a / b) for b > 0, also for negative a (times before 1970).
constexpr LogSeconds FloorDiv(LogSeconds a, LogSeconds b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The second count of a calendar date and time.
LogSeconds SecondsFromCivil(const LocalDateTime& time);

// One poll as read from a log line.
struct LogRecord {
    LogSeconds time = 0;
    std::string deviceName; // as the device sent it: CSV quoting and the formula guard taken off
    bool ok = false;        // "OK"; false for "ERROR"
    // Readings 0..n-1; nullopt where the line has no reading (-2048000.,
    // inf, nan).
    std::vector<std::optional<double>> readings;
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
// Anything else is a problem, naming what is wrong.
struct ParsedLine {
    std::optional<LogRecord> record;
    std::string problem; // why, when record is empty
};
ParsedLine ParseLogLine(std::string_view line);

// Reads a time given on the command line: "YYYY-MM-DD", "YYYY-MM-DD hh:mm"
// or "YYYY-MM-DD hh:mm:ss" ('T' or a blank between date and time, any time
// separator). A date alone is its first second, or with `endOfDay` its last.
std::optional<LogSeconds> ParseTimeArgument(std::string_view text, bool endOfDay);

// "YYYY-MM-DD hh:mm:ss" of a second count.
std::string FormatLogSeconds(LogSeconds seconds);

// Tells a line that repeats, byte for byte, one of the lines kept before it:
// a line that a relay delivered twice (rsyslog over RELP resends the line
// it was sending when the connection broke, up to about a thousand lines
// later). It keeps the last `maxLines` lines, as long as they take no more
// than `maxBytes` together (the oldest are forgotten first), so its memory
// stays the same however long the log. The lines are compared whole, byte
// for byte, a hash only finds them: no two different lines are ever taken
// for one, whatever bytes a device sends.
class RepeatWindow {
public:
    static constexpr std::size_t kLines = 8192;
    static constexpr std::size_t kBytes = std::size_t{4} << 20;
    explicit RepeatWindow(std::size_t maxLines = kLines, std::size_t maxBytes = kBytes);

    // The number of the kept line that `line` repeats; otherwise nullopt,
    // and `line` is kept as line `number`.
    std::optional<std::int64_t> Repeats(std::string_view line, std::int64_t number);

private:
    struct Kept {
        std::string bytes;
        std::int64_t number = 0;
    };
    std::size_t maxLines_;
    std::size_t maxBytes_;
    std::size_t bytes_ = 0;
    std::deque<Kept> kept_; // oldest first; its elements never move, so the views below stay good
    std::unordered_map<std::string_view, std::int64_t> numbers_; // each kept line's bytes to its number
};

} // namespace vornix7
