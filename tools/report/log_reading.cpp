#include "tools/report/log_reading.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/control_bytes.h"
#include "log/log_line.h"

namespace vornix7 {

namespace {

constexpr auto kMaxReadings = static_cast<std::size_t>(kSensorSlots);
// The report also reads readings with more decimals than the logger writes.
constexpr std::size_t kAnyFractionDigits = std::string_view::npos;

// The calendar date and time of a second count.
LocalDateTime CivilTime(LogSeconds seconds)
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
    return {whole(year),        whole(month),          whole(day),
            whole(rest / 3600), whole(rest / 60 % 60), whole(rest % 60)};
}

// A date and time that the calendar and the clock have: the only ones that
// come back unchanged from their second count (a 31 April, a 24:00 or a
// month 13 comes back as another date).
bool IsReal(const LocalDateTime& time)
{
    return CivilTime(SecondsFromCivil(time)) == time;
}

// No value for "inf", "-inf", "nan" and the failed poll's marker.
std::optional<double> ReadingValue(std::string_view field)
{
    double value = 0.0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value) || value == NoReading) {
        return std::nullopt;
    }
    return value;
}

// A name's field quoted as CSV: its content with inner quotes undoubled.
std::string Unquoted(std::string_view field)
{
    std::string name;
    for (std::size_t i = 1; i + 1 < field.size(); ++i) {
        name += field[i];
        if (field[i] == '"') {
            ++i; // the second of a doubled quote
        }
    }
    return name;
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

LogSeconds SecondsFromCivil(const LocalDateTime& time)
{
    // Days since 1970-01-01 in the proleptic Gregorian calendar.
    const int month = time.month;
    const LogSeconds y = time.year - (month <= 2 ? 1 : 0);
    const LogSeconds era = (y >= 0 ? y : y - 399) / 400;
    const LogSeconds yearOfEra = y - era * 400;
    const LogSeconds dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + time.day - 1;
    const LogSeconds dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const LogSeconds days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + time.hour * 3600 + time.minute * 60 + time.second;
}

std::string FormatLogSeconds(LogSeconds seconds)
{
    return FormatTimeStamp(CivilTime(seconds), ':');
}

ParsedLine ParseLogLine(std::string_view line)
{
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return Problem("empty line");
    }
    const LogLineParts parts = SplitLogLine(line);
    if (parts.fault == LogLineParts::Fault::kNoTimeStamp || !IsReal(parts.time)) {
        return Problem("no time stamp \"YYYY-MM-DD hh:mm:ss\" at the start");
    }
    if (parts.fault == LogLineParts::Fault::kNoCommaAfterTimeStamp) {
        return Problem("no ',' after the time stamp");
    }

    LogRecord record;
    record.time = SecondsFromCivil(parts.time);
    std::vector<std::string_view> fields;
    if (parts.quotedName) {
        record.deviceName = Unquoted(parts.name);
        fields = parts.fields;
    } else {
        // Unquoted: the name is the first field and, when an earlier version
        // wrote a name with a comma unquoted, the fields up to where the
        // readings begin.
        std::vector<std::string_view> all{parts.name};
        all.insert(all.end(), parts.fields.begin(), parts.fields.end());
        if (all.size() < 2) {
            return Problem("no status after the device name");
        }
        std::size_t firstReading = all.size() - 1;
        while (firstReading > 1 && IsReadingField(all[firstReading - 1], kAnyFractionDigits)
               && all.size() - firstReading <= kMaxReadings) {
            --firstReading;
        }
        std::string name(all[0]);
        for (std::size_t i = 1; i < firstReading; ++i) {
            // A reading amid what would be the name: a damaged line, whose
            // readings would land in the wrong sensors.
            if (IsReadingField(all[i], kAnyFractionDigits)) {
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
        if (!IsReadingField(fields[i], kAnyFractionDigits)) {
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
    LocalDateTime time;
    if (!ReadDate(text, time)) {
        return std::nullopt;
    }
    if (text.empty()) {
        time.hour = endOfDay ? 23 : 0;
        time.minute = endOfDay ? 59 : 0;
        time.second = endOfDay ? 59 : 0;
    } else {
        if (text[0] != ' ' && text[0] != 'T') {
            return std::nullopt;
        }
        text.remove_prefix(1);
        if (!ReadTime(text, time, true) || !text.empty()) {
            return std::nullopt;
        }
    }
    if (!IsReal(time)) {
        return std::nullopt;
    }
    return SecondsFromCivil(time);
}

} // namespace vornix7
