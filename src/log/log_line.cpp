#include "log/log_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/ascii.h"
#include "common/control_bytes.h"
#include "common/utf8.h"

namespace vornix7 {

namespace {

// Adds one unit in the last place to a decimal text such as "-9.99".
void IncrementLastDigit(std::string& number)
{
    for (std::size_t i = number.size(); i-- > 0;) {
        char& c = number[i];
        if (c == '.') {
            continue;
        }
        if (c == '-') {
            number.insert(i + 1, 1, '1');
            return;
        }
        if (c != '9') {
            ++c;
            return;
        }
        c = '0';
    }
    number.insert(0, 1, '1');
}

std::string FixedWithTwoDecimals(double value)
{
    // Large enough for the 309 whole digits of the largest double.
    std::array<char, 400> buffer{};
    char* const begin = buffer.data();
    char* const end = begin + buffer.size();

    // A reading whose three-decimal form ends in 5 and reads back as the
    // same double is a half as the device wrote it: round away from zero.
    const auto three = std::to_chars(begin, end, value, std::chars_format::fixed, 3);
    double readBack = 0.0;
    std::from_chars(begin, three.ptr, readBack);
    if (three.ptr[-1] == '5' && readBack == value) {
        std::string number(begin, three.ptr - 1);
        IncrementLastDigit(number);
        return number;
    }
    const auto two = std::to_chars(begin, end, value, std::chars_format::fixed, 2);
    return std::string(begin, two.ptr);
}

// In UTF-8 text, the C1 controls and every byte 0x80..0x9F outside a
// well-formed character, one blank each.
std::string BlankC1Controls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8CharacterLength(text);
        const auto first = static_cast<unsigned char>(text[0]);
        if (length == 2 && first == 0xC2 && static_cast<unsigned char>(text[1]) <= 0x9F) {
            out += ' '; // U+0080..U+009F
        } else if (length > 0) {
            out.append(text.substr(0, length));
        } else {
            out += first >= 0x80 && first <= 0x9F ? ' ' : text[0];
        }
        text.remove_prefix(length > 0 ? length : 1);
    }
    return out;
}

// `count` digits at the start of `text`, taken off it.
std::optional<int> TakeDigits(std::string_view& text, std::size_t count)
{
    if (text.size() < count) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!IsAsciiDigit(text[i])) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(count);
    return value;
}

bool Take(std::string_view& text, std::string_view part)
{
    if (!text.starts_with(part)) {
        return false;
    }
    text.remove_prefix(part.size());
    return true;
}

// Where a CSV field quoted at the start of `text` ends (after its closing
// quote), when a comma follows it.
std::optional<std::size_t> QuotedFieldEnd(std::string_view text)
{
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] != '"') {
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '"') {
            ++i; // a doubled quote inside
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == ',') {
            return i + 1;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::string_view> SplitFields(std::string_view text)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t comma = text.find(',');
        fields.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) {
            return fields;
        }
        text.remove_prefix(comma + 1);
    }
}

} // namespace

std::string CommaToPoint(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

std::string FormatReading(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    std::string number = FixedWithTwoDecimals(value);
    while (number.back() == '0') {
        number.pop_back();
    }
    if (number == "-0.") {
        number = "0.";
    }
    return CommaToPoint(std::move(number));
}

std::string FormatTimeStamp(const LocalDateTime& time, char timeSeparator)
{
    std::array<char, 64> buffer{};
    const int length =
        std::snprintf(buffer.data(), buffer.size(), "%04d-%02d-%02d %02d%c%02d%c%02d", time.year, time.month,
                      time.day, time.hour, timeSeparator, time.minute, timeSeparator, time.second);
    return std::string(buffer.data(), static_cast<std::size_t>(std::max(length, 0)));
}

std::string DeviceNameField(std::string_view deviceName, CodePageKind codePage)
{
    // Control bytes would reach the terminal of whoever follows the log
    // (escape sequences) and line ends would split the poll's line.
    std::string name = ReplaceControlBytes(codePage == CodePageKind::kUtf8 ? BlankC1Controls(deviceName)
                                                                           : std::string(deviceName),
                                           ControlBytes::kAllButTab, ' ');
    const std::size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    name = name.substr(first, name.find_last_not_of(' ') - first + 1);
    // Spreadsheets take a field that starts like this for a formula, quoted
    // or not; the leading apostrophe makes them show it as text.
    if (name.find_first_of("=+-@") == 0) {
        name.insert(0, 1, '\'');
    }
    if (name.find_first_of(",\"") == std::string::npos) {
        return name;
    }
    std::string quoted = "\"";
    for (const char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string FormatLogLine(const SensorTable& table, std::int32_t lastSensor, std::string_view status,
                          char timeSeparator, CodePageKind codePage)
{
    const int used = UsedSensorCount(lastSensor);
    std::string line = FormatTimeStamp(table.PollTime, timeSeparator);
    line += ',';
    line += DeviceNameField(table.DeviceName, codePage);
    line += ',';
    for (int i = 0; i < used; ++i) {
        line += FormatReading(table.SensorValue[static_cast<std::size_t>(i)]);
        line += ',';
    }
    line += status;
    line += "\r\n";
    return line;
}

bool ReadDate(std::string_view& text, LocalDateTime& time)
{
    std::string_view rest = text;
    const auto year = TakeDigits(rest, 4);
    const auto month = year && Take(rest, "-") ? TakeDigits(rest, 2) : std::nullopt;
    const auto day = month && Take(rest, "-") ? TakeDigits(rest, 2) : std::nullopt;
    if (!day) {
        return false;
    }
    time.year = *year;
    time.month = *month;
    time.day = *day;
    text = rest;
    return true;
}

std::optional<std::string_view> ReadTime(std::string_view& text, LocalDateTime& time, bool secondsOptional)
{
    std::string_view rest = text;
    const auto hour = TakeDigits(rest, 2);
    std::size_t length = 0;
    while (hour && length < rest.size() && length < 4 && !IsAsciiDigit(rest[length])) {
        ++length;
    }
    const std::string_view separator = rest.substr(0, length);
    rest.remove_prefix(length);
    const auto minute = length > 0 ? TakeDigits(rest, 2) : std::nullopt;
    if (!minute) {
        return std::nullopt;
    }
    std::optional<int> second = 0;
    if (!secondsOptional || !rest.empty()) {
        second = Take(rest, separator) ? TakeDigits(rest, 2) : std::nullopt;
    }
    if (!second) {
        return std::nullopt;
    }
    time.hour = *hour;
    time.minute = *minute;
    time.second = *second;
    text = rest;
    return separator;
}

bool IsReadingField(std::string_view field, std::size_t fractionDigits)
{
    if (field == "inf" || field == "-inf" || field == "nan") {
        return true;
    }
    Take(field, "-");
    const std::size_t point = field.find('.');
    if (point == 0 || point == std::string_view::npos || field.size() - point - 1 > fractionDigits) {
        return false;
    }
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (i != point && !IsAsciiDigit(field[i])) {
            return false;
        }
    }
    return true;
}

LogLineParts SplitLogLine(std::string_view line)
{
    LogLineParts parts;
    const auto separator =
        ReadDate(line, parts.time) && Take(line, " ") ? ReadTime(line, parts.time) : std::nullopt;
    if (!separator) {
        parts.fault = LogLineParts::Fault::kNoTimeStamp;
        return parts;
    }
    parts.timeSeparator = *separator;
    if (!Take(line, ",")) {
        parts.fault = LogLineParts::Fault::kNoCommaAfterTimeStamp;
        return parts;
    }
    const auto quotedEnd = line.starts_with('"') ? QuotedFieldEnd(line) : std::nullopt;
    parts.quotedName = quotedEnd.has_value();
    const std::size_t nameEnd = quotedEnd ? *quotedEnd : line.find(',');
    parts.name = line.substr(0, nameEnd);
    if (nameEnd != std::string_view::npos) {
        parts.fields = SplitFields(line.substr(nameEnd + 1));
    }
    return parts;
}

} // namespace vornix7
