#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/local_date_time.h"
#include "common/sensor_table.h"
#include "platform/system.h"

namespace vornix7 {

// Every "," becomes "."; all other characters stay.
std::string CommaToPoint(std::string text);

// A reading in the form "######0.##": a minus sign when negative, every
// digit of the whole part, always the ".", then up to two fraction digits
// without trailing zeros (21 -> "21.", 3.14159 -> "3.14", 0.004 -> "0.").
// Choices where the form says nothing:
// - a half, as the device wrote it, rounds away from zero (2.675 -> "2.68");
// - a negative value that rounds to zero is written "0.", without a sign;
// - a reading too large for a double is "inf" or "-inf" (one field still).
std::string FormatReading(double value);

// "YYYY-MM-DD hh:mm:ss" with `timeSeparator` in place of ':'.
std::string FormatTimeStamp(const LocalDateTime& time, char timeSeparator);

// The device name as one CSV field, safe for the people who read the log:
// - control bytes (CR, LF, NUL, ESC, ... and DEL; not tab) become blanks, so
//   one poll is always one line and nothing reaches a terminal as a command;
// - in a UTF-8 log also the C1 controls (U+0080..U+009F, written C2 80 ..
//   C2 9F: CSI, OSC, ST, ...) become one blank each, and so does every byte
//   0x80..0x9F that is not part of a well-formed UTF-8 character, which an
//   8-bit terminal would take for a C1 control; every well-formed character
//   stays, and other ill-formed bytes stay as they are. In a log in another
//   code page (Windows 1252 and its kin) 0x80..0x9F are characters and stay;
// - leading and trailing spaces are dropped;
// - a name starting with '=', '+', '-' or '@' gets a leading "'", so that
//   spreadsheets show it as text instead of running it as a formula;
// - a name holding a comma or a double quote is quoted with inner quotes
//   doubled, so its readings stay in their columns.
// Other names are written unchanged.
std::string DeviceNameField(std::string_view deviceName, CodePageKind codePage = CodePageKind::kUtf8);

// One whole log line: time stamp, device name, the readings 0..lastSensor,
// the status, CR LF. Throws RuntimeError for lastSensor above 16.
std::string FormatLogLine(const SensorTable& table, std::int32_t lastSensor, std::string_view status,
                          char timeSeparator, CodePageKind codePage = CodePageKind::kUtf8);

// Reading a line back, as FormatLogLine writes it and as earlier versions
// wrote it. Each reader adds its own checks: the side file's move takes only
// what this version writes, the report also older lines.

// "YYYY-MM-DD" at the start of `text`, taken off it. Not checked for a real
// date.
bool ReadDate(std::string_view& text, LocalDateTime& time);

// "hh:mm:ss" at the start of `text`, taken off it; the seconds may be left
// out where `secondsOptional` and the text ends after the minutes. The
// separator is one to four bytes that are not digits (a locale's may be
// several), the same twice; it is returned. Not checked for a real time.
std::optional<std::string_view> ReadTime(std::string_view& text, LocalDateTime& time,
                                         bool secondsOptional = false);

// A reading as FormatReading writes it ("-12.34", "21.", "inf", "-inf",
// "nan"), with at most `fractionDigits` digits after the point.
bool IsReadingField(std::string_view field, std::size_t fractionDigits = 2);

// A line (without its line end) split into its parts; views into the line.
struct LogLineParts {
    enum class Fault { kNone, kNoTimeStamp, kNoCommaAfterTimeStamp };
    Fault fault = Fault::kNone;
    LocalDateTime time; // as written: not checked for a real date or time
    std::string_view timeSeparator;
    // The name's field as written: quoted as CSV when a well-formed quoted
    // field and a comma follow; else plain, up to the first comma.
    std::string_view name;
    bool quotedName = false;
    // The fields after the name: the readings, the status last; none when a
    // plain name ends the line. Not checked.
    std::vector<std::string_view> fields;
};
LogLineParts SplitLogLine(std::string_view line);

} // namespace vornix7
