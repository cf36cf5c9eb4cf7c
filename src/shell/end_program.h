#pragma once

#include <functional>

#include "platform/system.h"

namespace vornix7 {

// How the program ends: status 0 after Exit, a window close or SIGTERM /
// SIGINT / SIGHUP, 1 after a run-time error. Injected so tests can record
// the call instead of losing their process; the program's own is
// EndProcess.
using EndAction = std::function<void(int status)>;

} // namespace vornix7
