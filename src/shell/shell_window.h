#pragma once

#include <functional>
#include <string>

#include "common/runtime_error.h"
#include "platform/window_services.h"
#include "shell/end_program.h"

namespace vornix7 {

// The logger's one window, "main", as the start-up and the tick see it,
// whatever draws it: Qt Widgets on Linux, the Win32 API on Windows, nothing
// at all for a service. A toolkit supplies the window itself, Timer1, the
// event pump and the message for a run-time error; how a tick is handled and
// how the program ends is written once, here.
class ShellWindow : public WindowServices {
public:
    using TickHook = std::function<void()>;
    // Writes one line, newline included.
    using LineWriter = std::function<void(const std::string& line)>;

    // An empty end action means EndProcess. `programName` begins the
    // program's lines on standard error.
    explicit ShellWindow(EndAction endProgram = nullptr, std::string programName = kWindowProgramName);
    ~ShellWindow() override = default;
    ShellWindow(const ShellWindow&) = delete;
    ShellWindow& operator=(const ShellWindow&) = delete;

    // --- What each toolkit supplies.

    // The last step of start-up: the window appears, minimized or normal.
    virtual void ShowWindow(bool minimized) = 0;

    // Timer1: its first tick comes one interval after the start, and each
    // tick calls HandleTick.
    virtual void StartTimer1() = 0;
    virtual void StopTimer1() = 0;

    // Tells the user about a run-time error after its line is on standard
    // error: a message box where somebody can click it away, nothing where
    // nobody could.
    virtual void ShowRuntimeError(const std::string& kind, const std::string& detail) = 0;

    // From here on SIGTERM, SIGINT and SIGHUP end the program like Exit, when
    // events are next pumped. Called first in start-up. Nothing by default:
    // a Windows program is ended through its window.
    virtual void WatchEndSignals() {}

    // Tells the user that another program holds the log and lines wait in
    // its side file, without changing the status label's four texts: `text`
    // is "The log file is in use by another program; N lines are waiting in
    // SIDE-FILE", or empty once the lines are in the log. Called after each
    // line written while the log is busy (N grows; the same text is never
    // sent twice in a row) and once with empty text at the end of the busy
    // spell; control bytes of the path are already blanks. A window shows it
    // beside the label (a tooltip on it); a program without a window writes
    // it to standard error once per busy spell, at its first text, and once
    // when the empty text ends the spell (WriteLogNoticeLine does that).
    // Nothing by default.
    virtual void ShowLogNotice(const std::string& text) { (void)text; }

    // --- Written once for every toolkit.

    // What runs on every tick of Timer1; an empty hook does nothing.
    void SetTickHook(TickHook hook);

    // One tick: Timer1 stops, the hook runs (a run-time error in it ends the
    // program), and Timer1 starts again unless the program ended. Stopped
    // for the whole tick, so ticks never overlap however long a poll takes.
    void HandleTick();

    // Ends the program with `status` (1 instead if a run-time error is being
    // reported). Only the first call counts; later ones, possible only when
    // the end action returns (in tests), are ignored.
    void EndProgram(int status);

    // Reports a run-time error (its line on standard error, then
    // ShowRuntimeError) and ends the program with status 1.
    void FailWith(const std::string& kind, const std::string& detail);

    // True once EndProgram ran: no further tick is started.
    bool ended() const { return ended_; }

    // The name this program's lines on standard error begin with.
    const std::string& programName() const { return programName_; }

protected:
    // ShowLogNotice for a program without a window: the notice's line
    // (LogNoticeLine after the last notice given here) to `write`, if any.
    void WriteLogNoticeLine(const std::string& text, const LineWriter& write);

private:
    EndAction endProgram_;
    std::string programName_;
    std::string lastNotice_;
    TickHook tickHook_;
    bool errorPending_ = false;
    bool ended_ = false;
};

} // namespace vornix7
