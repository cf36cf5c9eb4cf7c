#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vornix7 {

// The kind reported for a C++ exception that is not a RuntimeError.
inline constexpr const char* kInternalError = "Internal error";

// The service program's name, which its lines on standard error begin with
// (the window program's is kWindowProgramName).
inline constexpr const char* kServiceProgramName = "vornix7-logger-headless";

// Writes `line` (newline included) on standard error in one write, so it
// cannot interleave with anything else there.
void WriteErrorLine(const std::string& line);

// Writes RunTimeErrorMessage of `program` as one line on standard error.
void WriteRuntimeErrorLine(std::string_view program, const std::string& kind, const std::string& detail);

// Tells the user, in one line on stderr, that the settings file at `path`
// exists but could not be read (`reason`), so every setting takes its
// default. Not an error: the program carries on.
void ReportUnreadableSettings(std::string_view program, const std::string& path, const std::string& reason);

// The log notice (ShellWindow::ShowLogNotice) as a line of `program` on
// standard error, for a program without a window: the line to write after
// the notice `previous` for `text`, or empty for none. One when a busy spell
// starts, one when its lines are in the log, nothing for the counts in
// between; one for lines set aside.
std::string LogNoticeLine(std::string_view program, const std::string& previous, const std::string& text);

using ErrorHandler = std::function<void(const std::string& kind, const std::string& detail)>;

// Runs `body` and turns any exception into one call of `onError`: a
// RuntimeError with its kind and detail, any other exception as
// kInternalError. Used where a toolkit calls into the program (the tick,
// the start-up), because an exception must never unwind through its event
// handling. `onError` runs after the exception is gone, so it may open a
// message box without keeping the exception alive meanwhile.
void RunAtBoundary(const std::function<void()>& body, const ErrorHandler& onError);

} // namespace vornix7
