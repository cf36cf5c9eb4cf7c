#pragma once

#include <functional>
#include <string>

namespace vornix7 {

using ErrorHandler = std::function<void(const std::string& kind, const std::string& detail)>;

// Runs `body` and turns any exception into one call of `onError`: a
// RuntimeError with its kind and detail, any other exception as
// kInternalError. Used where Qt calls into the program (the tick, the
// start-up), because an exception must never unwind through Qt's event
// handling. `onError` runs after the exception is gone, so it may open a
// message box without keeping the exception alive meanwhile.
void RunAtBoundary(const std::function<void()>& body, const ErrorHandler& onError);

} // namespace vornix7
