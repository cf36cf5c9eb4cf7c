#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vornix7::e2e {

// The reading written for a failed poll.
inline constexpr const char* kFailedReading = "-2048000.";

// The log's text cut after each CR LF; a last piece without one is kept as
// it is, so a half line shows up in a comparison instead of vanishing.
std::vector<std::string> SplitLines(const std::string& text);

// The number of lines ended by CR LF.
std::size_t WholeLineCount(const std::string& text);

// True for a complete log line with `readings` reading columns: time stamp,
// device name (plain or quoted), readings, OK or ERROR, CR LF.
bool IsWholeLine(const std::string& line, int readings);

// The line with its leading "YYYY-MM-DD hh:mm:ss" replaced by "<time>";
// a line without a time stamp comes back unchanged, and so fails to match.
std::string MaskTime(const std::string& line);
std::vector<std::string> MaskTimes(const std::vector<std::string>& lines);

// The local time written at the start of a line.
std::optional<std::time_t> LineTime(const std::string& line);

// Expected lines, time masked.
std::string OkLine(const std::string& name, const std::vector<std::string>& readings);
std::string ErrorLine(const std::string& name, int readings);
std::vector<std::string> Times(int count, const std::string& line);

} // namespace vornix7::e2e
