#pragma once

namespace vornix7 {

// The program's own end: flushes standard output and error, then leaves at
// once with `status`, from wherever it is called (also from inside a fetch's
// event pump), so no code of an interrupted tick and no destructor runs
// afterwards. Nothing else needs saving: the log file is open only inside
// one append, and events are processed there only while it waits for the
// lock (nothing written yet), for the flush to stable storage (the line is
// written and stays with the system) or for a full pipe (only a line
// longer than the pipe's atomic size can then be left cut in the pipe).
[[noreturn]] void EndProcess(int status);

} // namespace vornix7
