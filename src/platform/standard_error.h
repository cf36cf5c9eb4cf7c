#pragma once

#include <string>

namespace vornix7 {

// Writes `text` to standard error in one write when that can be done without
// waiting, and otherwise drops it: a service's standard error may be a pipe
// or socket that nobody empties, and a status line must never hold up the
// polls. A standard error that was closed at start-up (HoldStandardStreams)
// drops every line. True when all of it was written.
bool WriteStandardErrorWithoutWaiting(const std::string& text);

} // namespace vornix7
