#pragma once

#include <functional>

namespace vornix7 {

// How the program ends: status 0 after Exit, a window close or SIGTERM /
// SIGINT, 1 after a run-time error. Injected so tests can record the call
// instead of losing their process.
using EndAction = std::function<void(int status)>;

// The program's own end: flushes standard output and error, then leaves at
// once with _exit, from wherever it is called (also from inside a fetch's
// event pump), so no code of an interrupted tick runs afterwards. Nothing
// else needs saving: the log file is open only inside one synchronous
// append, which never processes events, so this can never cut a line.
[[noreturn]] void EndProcess(int status);

} // namespace vornix7
