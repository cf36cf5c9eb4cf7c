#pragma once

namespace vornix7 {

// The program's own end: flushes standard output and error, then leaves at
// once with `status`, from wherever it is called (also from inside a fetch's
// event pump), so no code of an interrupted tick and no destructor runs
// afterwards. Nothing else needs saving: the log file is open only inside
// one synchronous append, which never processes events, so this can never
// cut a line.
[[noreturn]] void EndProcess(int status);

} // namespace vornix7
