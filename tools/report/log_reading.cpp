#include "tools/report/log_reading.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "common/ascii.h"
#include "common/control_bytes.h"
#include "log/log_line.h"

namespace vornix7 {

namespace {

constexpr std::size_t kMaxReadings = 17;

// Reads `count` digits at `pos`, advancing it.
std::optional<int> Digits(std::string_view text, std::size_t& pos, std::size_t count)
{
    if (pos + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (!IsAsciiDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    pos += count;
    return value;
}

// Takes `wanted` at `pos`, or nothing.
bool ReadExactly(std::string_view text, std::size_t& pos, std::string_view wanted)
{
    if (text.substr(pos, wanted.size()) != wanted) {
        return false;
    }
    pos += wanted.size();
    return true;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
};

// "YYYY-MM-DD" at `pos`.
std::optional<Date> ReadDate(std::string_view text, std::size_t& pos)
{
    const auto year = Digits(text, pos, 4);
    if (!year || !ReadExactly(text, pos, "-")) {
        return std::nullopt;
    }
    const auto month = Digits(text, pos, 2);
    if (!month || !ReadExactly(text, pos, "-")) {
        return std::nullopt;
    }
    const auto day = Digits(text, pos, 2);
    if (!day || *month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month)) {
        return std::nullopt;
    }
    return Date{*year, *month, *day};
}

// The time separator: one to four bytes that are not digits, as a locale
// may give it.
std::optional<std::string_view> ReadSeparator(std::string_view text, std::size_t& pos)
{
    const std::size_t start = pos;
    while (pos < text.size() && !IsAsciiDigit(text[pos]) && pos - start < 4) {
        ++pos;
    }
    if (pos == start) {
        return std::nullopt;
    }
    return text.substr(start, pos - start);
}

// "hh:mm:ss" of `date` at `pos`, with any time separator (the same twice);
// the seconds may be left out where `secondsOptional` and the text ends.
std::optional<LogSeconds> ReadTime(std::string_view text, std::size_t& pos, const Date& date,
                                   bool secondsOptional)
{
    const auto hour = Digits(text, pos, 2);
    const auto separator = hour ? ReadSeparator(text, pos) : std::nullopt;
    const auto minute = separator ? Digits(text, pos, 2) : std::nullopt;
    if (!minute) {
        return std::nullopt;
    }
    std::optional<int> second = 0;
    if (!secondsOptional || pos < text.size()) {
        second = ReadExactly(text, pos, *separator) ? Digits(text, pos, 2) : std::nullopt;
    }
    if (!second || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    return SecondsFromCivil(date.year, date.month, date.day, *hour, *minute, *second);
}

// "YYYY-MM-DD hh:mm:ss" at the start of a log line.
std::optional<LogSeconds> ReadTimeStamp(std::string_view line, std::size_t& pos)
{
    const auto date = ReadDate(line, pos);
    if (!date || !ReadExactly(line, pos, " ")) {
        return std::nullopt;
    }
    return ReadTime(line, pos, *date, false);
}

// A reading as the logger writes it: "-?digits.digits?" (the '.' always
// there), or "inf", "-inf", "nan" for what is no number.
bool LooksLikeReading(std::string_view field)
{
    if (field == "inf" || field == "-inf" || field == "nan") {
        return true;
    }
    std::size_t pos = field.starts_with('-') ? 1 : 0;
    const std::size_t wholeStart = pos;
    while (pos < field.size() && IsAsciiDigit(field[pos])) {
        ++pos;
    }
    if (pos == wholeStart || pos >= field.size() || field[pos] != '.') {
        return false;
    }
    ++pos;
    while (pos < field.size() && IsAsciiDigit(field[pos])) {
        ++pos;
    }
    return pos == field.size();
}

std::optional<double> ReadingValue(std::string_view field)
{
    if (field == "inf" || field == "-inf" || field == "nan") {
        return std::nullopt;
    }
    double value = 0.0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value) || value == NoReading) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> SplitFields(std::string_view text)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

// A name quoted as CSV at the start of `text`: its content with inner
// quotes undoubled, and where the text after its closing quote starts.
std::optional<std::string> ReadQuotedName(std::string_view text, std::size_t& pos)
{
    std::string name;
    std::size_t i = 1;
    while (i < text.size()) {
        if (text[i] != '"') {
            name += text[i++];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '"') {
            name += '"';
            i += 2;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == ',') {
            pos = i + 2;
            return name;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// The logger puts "'" before a name that a spreadsheet would take for a
// formula; the report shows the name as the device gave it.
std::string WithoutFormulaGuard(std::string name)
{
    if (name.size() >= 2 && name[0] == '\''
        && std::string_view("=+-@").find(name[1]) != std::string_view::npos) {
        name.erase(0, 1);
    }
    return name;
}

ParsedLine Problem(std::string reason)
{
    return ParsedLine{std::nullopt, std::move(reason)};
}

std::string Shown(std::string_view field)
{
    constexpr std::size_t kMax = 24;
    const std::string shown =
        ReplaceControlBytes(std::string(field.substr(0, kMax)), ControlBytes::kNonPrintable, '?');
    return "\"" + shown + (field.size() > kMax ? "...\"" : "\"");
}

} // namespace

LogSeconds SecondsFromCivil(int year, int month, int day, int hour, int minute, int second)
{
    // Days since 1970-01-01 in the proleptic Gregorian calendar.
    const LogSeconds y = year - (month <= 2 ? 1 : 0);
    const LogSeconds era = (y >= 0 ? y : y - 399) / 400;
    const LogSeconds yearOfEra = y - era * 400;
    const LogSeconds dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const LogSeconds dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const LogSeconds days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::string FormatLogSeconds(LogSeconds seconds)
{
    const LogSeconds days = FloorDiv(seconds, 86400);
    const LogSeconds rest = seconds - days * 86400;
    const LogSeconds z = days + 719468;
    const LogSeconds era = (z >= 0 ? z : z - 146096) / 146097;
    const LogSeconds dayOfEra = z - era * 146097;
    const LogSeconds yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const LogSeconds dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const LogSeconds mp = (5 * dayOfYear + 2) / 153;
    const LogSeconds day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const LogSeconds month = mp < 10 ? mp + 3 : mp - 9;
    const LogSeconds year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    const auto whole = [](LogSeconds value) {
        return static_cast<int>(value);
    };
    return FormatTimeStamp(
        {whole(year), whole(month), whole(day), whole(rest / 3600), whole(rest / 60 % 60), whole(rest % 60)},
        ':');
}

ParsedLine ParseLogLine(std::string_view line)
{
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return Problem("empty line");
    }
    std::size_t pos = 0;
    const auto time = ReadTimeStamp(line, pos);
    if (!time) {
        return Problem("no time stamp \"YYYY-MM-DD hh:mm:ss\" at the start");
    }
    if (!ReadExactly(line, pos, ",")) {
        return Problem("no ',' after the time stamp");
    }
    const std::string_view rest = line.substr(pos);

    LogRecord record;
    record.time = *time;
    std::vector<std::string_view> fields;
    std::size_t quotedEnd = 0;
    std::optional<std::string> quotedName;
    if (rest.starts_with('"')) {
        quotedName = ReadQuotedName(rest, quotedEnd);
    }
    if (quotedName) {
        record.deviceName = std::move(*quotedName);
        fields = SplitFields(rest.substr(quotedEnd));
    } else {
        // Unquoted: the name is the first field and, when an earlier version
        // wrote a name with a comma unquoted, the fields up to where the
        // readings begin.
        const std::vector<std::string_view> all = SplitFields(rest);
        if (all.size() < 2) {
            return Problem("no status after the device name");
        }
        std::size_t firstReading = all.size() - 1;
        while (firstReading > 1 && LooksLikeReading(all[firstReading - 1])
               && all.size() - firstReading <= kMaxReadings) {
            --firstReading;
        }
        std::string name(all[0]);
        for (std::size_t i = 1; i < firstReading; ++i) {
            // A reading amid what would be the name: a damaged line, whose
            // readings would land in the wrong sensors.
            if (LooksLikeReading(all[i])) {
                return Problem("reading " + Shown(all[i]) + " before a field that is not a number");
            }
            name += ',';
            name += all[i];
        }
        record.deviceName = std::move(name);
        fields.assign(all.begin() + static_cast<std::ptrdiff_t>(firstReading), all.end());
    }
    record.deviceName = WithoutFormulaGuard(std::move(record.deviceName));

    const std::string_view status = fields.back();
    if (status == "OK") {
        record.ok = true;
    } else if (status != "ERROR") {
        return Problem("the last field " + Shown(status) + " is neither OK nor ERROR");
    }
    fields.pop_back();
    if (fields.size() > kMaxReadings) {
        return Problem(std::to_string(fields.size()) + " readings, more than 17");
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!LooksLikeReading(fields[i])) {
            return Problem("reading " + std::to_string(i) + " " + Shown(fields[i]) + " is not a number");
        }
        record.readings.push_back(record.ok ? ReadingValue(fields[i]) : std::nullopt);
    }
    return ParsedLine{std::move(record), {}};
}

RepeatWindow::RepeatWindow(std::size_t maxLines, std::size_t maxBytes)
    : maxLines_(std::max<std::size_t>(maxLines, 1)), maxBytes_(maxBytes)
{
}

std::optional<std::int64_t> RepeatWindow::Repeats(std::string_view line, std::int64_t number)
{
    if (const auto kept = numbers_.find(line); kept != numbers_.end()) {
        return kept->second;
    }
    if (line.size() > maxBytes_) {
        return std::nullopt;
    }
    while (!kept_.empty() && (kept_.size() >= maxLines_ || bytes_ + line.size() > maxBytes_)) {
        numbers_.erase(kept_.front().bytes);
        bytes_ -= kept_.front().bytes.size();
        kept_.pop_front();
    }
    kept_.push_back({std::string(line), number});
    bytes_ += line.size();
    numbers_.emplace(kept_.back().bytes, number);
    return std::nullopt;
}

std::optional<LogSeconds> ParseTimeArgument(std::string_view text, bool endOfDay)
{
    std::size_t pos = 0;
    const auto date = ReadDate(text, pos);
    if (!date) {
        return std::nullopt;
    }
    if (pos == text.size()) {
        return SecondsFromCivil(date->year, date->month, date->day, endOfDay ? 23 : 0, endOfDay ? 59 : 0,
                                endOfDay ? 59 : 0);
    }
    if (text[pos] != ' ' && text[pos] != 'T') {
        return std::nullopt;
    }
    ++pos;
    const auto time = ReadTime(text, pos, *date, true);
    if (!time || pos != text.size()) {
        return std::nullopt;
    }
    return time;
}

} // namespace vornix7
