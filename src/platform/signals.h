#pragma once

// The signals the logger handles: the write signals ignored at start-up,
// and SIGTERM, SIGINT and SIGHUP for the windowless service.

#include <memory>

namespace vornix7 {

// Called once at start-up, before any thread starts, by every program that
// writes the log: SIGPIPE and SIGXFSZ ignored, so that a write to a pipe
// whose reader has gone fails with EPIPE and a write past the process's size
// limit (ulimit -f) with EFBIG, an error the log reports, instead of the
// signal ending the program without a word. Nothing to do on Windows.
void IgnoreWriteSignals();

#ifndef _WIN32
// SIGTERM, SIGINT and SIGHUP for a program with no event loop of its own
// (the windowless service). From construction on the three are held back
// (blocked) in the calling thread and every thread started after it, so they
// can never interrupt a log write half-way; the program takes them where it
// can end: a check that does not wait (its event pump, run in every 20 ms
// step of a fetch or of a wait for the log) and a wait that is also its
// sleep until the next tick. Started under nohup, SIGHUP stays ignored.
//
// A handler that only notes the signal is installed too, so the signals
// show as caught (SigCgt) and one delivered to a thread that did not block
// it is not lost. Build it first, before any thread starts. At most one may
// exist at a time; the previous mask and handlers come back when it goes.
class EndSignals {
public:
    // Throws std::system_error when the handlers or the mask cannot be set,
    // std::logic_error when another one exists.
    EndSignals();
    ~EndSignals();
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // True when one of the signals has come (it is taken); never waits.
    bool Arrived();

    // Waits until one of the signals comes or `milliseconds` have passed
    // (at least 0); true when one came. May return false early.
    bool WaitFor(int milliseconds);

private:
    struct Saved; // the system's own types stay in the system's file
    std::unique_ptr<Saved> saved_;
};
#endif

} // namespace vornix7
