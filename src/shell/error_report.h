#pragma once

#include <string>

class QWidget;

namespace vornix7 {

// The kind reported for a C++ exception that is not a RuntimeError.
inline constexpr const char* kInternalError = "Internal error";

// "VORNIX7_Logger: run-time error: <kind>: <detail>", always one line: any
// line break inside kind or detail becomes a blank.
std::string RuntimeErrorLine(const std::string& kind, const std::string& detail);

// True when windows appear on a real screen; false for the headless
// platforms ("offscreen", "minimal") and without a GUI application.
bool HasRealDisplay();

// Tells the user about a run-time error: the line above on stderr always,
// and a critical message box naming the kind when there is a real display
// (with none, nobody could click it away, so nothing waits).
void ReportRuntimeError(const std::string& kind, const std::string& detail, QWidget* parent);

} // namespace vornix7
