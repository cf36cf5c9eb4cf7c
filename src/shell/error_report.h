#pragma once

#include <string>

class QWidget;

namespace vornix7 {

// The kind reported for a C++ exception that is not a RuntimeError.
inline constexpr const char* kInternalError = "Internal error";

// True when windows appear on a real screen; false for the headless
// platforms ("offscreen", "minimal") and without a GUI application.
bool HasRealDisplay();

// Tells the user about a run-time error: RunTimeErrorMessage on stderr always,
// and a critical message box naming the kind when there is a real display
// (with none, nobody could click it away, so nothing waits).
void ReportRuntimeError(const std::string& kind, const std::string& detail, QWidget* parent);

// Tells the user, in one line on stderr, that the settings file at `path`
// exists but could not be read (`reason`), so every setting takes its
// default. Not an error: the program carries on.
void ReportUnreadableSettings(const std::string& path, const std::string& reason);

} // namespace vornix7
