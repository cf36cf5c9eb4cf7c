#pragma once

namespace vornix7 {

// Called once at start-up, before any thread starts, by every program that
// writes the log: SIGPIPE and SIGXFSZ ignored, so that a write to a pipe
// whose reader has gone fails with EPIPE and a write past the process's size
// limit (ulimit -f) with EFBIG, an error the log reports, instead of the
// signal ending the program without a word. Nothing to do on Windows.
void IgnoreWriteSignals();

} // namespace vornix7
