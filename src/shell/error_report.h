#pragma once

#include <functional>
#include <string>

namespace vornix7 {

// The kind reported for a C++ exception that is not a RuntimeError.
inline constexpr const char* kInternalError = "Internal error";

// The service program's name, which its lines on standard error begin with
// (the window program's is kWindowProgramName).
inline constexpr const char* kServiceProgramName = "vornix7-logger-headless";

// Writes `line` (newline included) on standard error in one write, so it
// cannot interleave with anything else there.
void WriteErrorLine(const std::string& line);

using ErrorHandler = std::function<void(const std::string& kind, const std::string& detail)>;

// Runs `body` and turns any exception into one call of `onError`: a
// RuntimeError with its kind and detail, any other exception as
// kInternalError. Used where a toolkit calls into the program (the tick,
// the start-up), because an exception must never unwind through its event
// handling. `onError` runs after the exception is gone, so it may open a
// message box without keeping the exception alive meanwhile.
void RunAtBoundary(const std::function<void()>& body, const ErrorHandler& onError);

} // namespace vornix7
