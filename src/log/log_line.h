#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

} // namespace vornix7
