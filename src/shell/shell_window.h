#pragma once

#include <functional>
#include <string>

#include "acquisition/window_services.h"
#include "common/runtime_error.h"
#include "platform/system.h"

namespace vornix7 {

// The kind reported for a C++ exception that is not a RuntimeError.
inline constexpr const char* kInternalError = "Internal error";

// The service program's name, which its lines on standard error begin with
// (the window program's is kWindowProgramName).
inline constexpr const char* kServiceProgramName = "vornix7-logger-headless";

// Writes `line` (newline included) on standard error in one write, so it
// cannot interleave with anything else there.
void WriteErrorLine(const std::string& line);

// How the program ends: status 0 after Exit, a window close or SIGTERM /
// SIGINT / SIGHUP, 1 after a run-time error. Injected so tests can record
// the call instead of losing their process; the program's own is
// EndProcess.
using EndAction = std::function<void(int status)>;

// The logger's one window, "main", as the start-up and the tick see it,
// whatever draws it: Qt Widgets on Linux, the Win32 API on Windows, nothing
// at all for a service. A toolkit supplies the status label and the event
// pump (WindowServices) and Timer1; a window adds what a service has none
// of. How a tick is handled, Timer1's state and how the program ends are
// written once, here.
class ShellWindow : public WindowServices {
public:
    using TickHook = std::function<void()>;
    // Writes one line, newline included.
    using LineWriter = std::function<void(const std::string& line)>;

    // An empty end action means EndProcess. `programName` begins the
    // program's lines on standard error; `writeLine` writes such a line (an
    // empty one means WriteErrorLine).
    explicit ShellWindow(EndAction endProgram = nullptr, std::string programName = kWindowProgramName,
                         LineWriter writeLine = nullptr);
    ~ShellWindow() override = default;
    ShellWindow(const ShellWindow&) = delete;
    ShellWindow& operator=(const ShellWindow&) = delete;

    // --- What a window adds. Nothing by default, as for a service.

    // The last step of start-up: the window appears, minimized or normal.
    virtual void ShowWindow(bool minimized) { (void)minimized; }

    // Tells the user about a run-time error after its line is on standard
    // error: a message box with `text` ("Run-time error: KIND", a blank line,
    // the detail) where somebody can click it away, nothing where nobody
    // could.
    virtual void ShowRuntimeError(const std::string& text) { (void)text; }

    // From here on SIGTERM, SIGINT and SIGHUP end the program like Exit, when
    // events are next pumped. Called early in start-up. Nothing by default:
    // a Windows program is ended through its window.
    virtual void WatchEndSignals() {}

    // Tells the user that another program holds the log and lines wait in
    // its side file, without changing the status label's four texts: `text`
    // is "The log file is in use by another program; N lines are waiting in
    // SIDE-FILE", or empty once the lines are in the log. Called after each
    // line written while the log is busy (N grows; the same text is never
    // sent twice in a row) and once with empty text at the end of the busy
    // spell; control bytes of the path are already blanks. A window shows it
    // beside the label (a tooltip on it). By default, for a program without
    // a window, it goes to standard error: a line when a busy spell starts
    // (not one per count) and one when the empty text ends it.
    virtual void ShowLogNotice(const std::string& text);

    // The program's loop: handles the toolkit's events and Timer1 until the
    // program ends. Gives a status only if something from outside ends the
    // loop (a WM_QUIT), or once the program has ended when the end action
    // returns (in tests).
    virtual int Run() = 0;

    // --- Written once for every toolkit.

    // Timer1: its first tick comes one interval after the start, and each
    // tick calls HandleTick. Not started again once the program has ended.
    void StartTimer1();
    void StopTimer1();

    // What runs on every tick of Timer1; an empty hook does nothing.
    void SetTickHook(TickHook hook);

    // One tick: Timer1 stops, the hook runs (a run-time error in it ends the
    // program), and Timer1 starts again unless the program ended. Stopped
    // for the whole tick, so ticks never overlap however long a poll takes.
    // A tick that comes while Timer1 is stopped (already queued when it
    // stopped) is ignored.
    void HandleTick();

    // Ends the program with `status` (1 instead if a run-time error is being
    // reported). Only the first call counts; later ones, possible only when
    // the end action returns (in tests), are ignored.
    void EndProgram(int status);

    // Reports a run-time error (its line on standard error, then
    // ShowRuntimeError) and ends the program with status 1.
    void FailWith(const std::string& kind, const std::string& detail);

    // Runs `body`; an exception from it ends the program through FailWith:
    // a RuntimeError with its kind and detail, any other as kInternalError.
    // Used where a toolkit calls into the program (the tick, the start-up),
    // as no exception may unwind through its event handling. The report
    // comes once the exception is gone, so a message box does not keep it
    // alive meanwhile.
    void RunAtBoundary(const std::function<void()>& body);

    // True once EndProgram ran: no further tick is started.
    bool ended() const { return ended_; }

    // The name this program's lines on standard error begin with.
    const std::string& programName() const { return programName_; }

protected:
    // What the toolkit's timer does when Timer1 starts or stops; called
    // only when its state changes.
    virtual void EnableTimer1(bool enabled) = 0;

    // Writes `line` (newline included) where this program's lines on
    // standard error go.
    void WriteLine(const std::string& line) { writeLine_(line); }

private:
    EndAction endProgram_;
    std::string programName_;
    LineWriter writeLine_;
    std::string lastNotice_;
    TickHook tickHook_;
    bool timer1Running_ = false;
    bool errorPending_ = false;
    bool ended_ = false;
};

} // namespace vornix7
