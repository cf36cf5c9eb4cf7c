#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/signals.h"
#include "shell/shell_window.h"

namespace vornix7 {

// The logger's window for a service: there is none. Timer1 is a plain
// deadline that Run's loop waits for, the event pump only looks for SIGTERM,
// SIGINT and SIGHUP (which end the program at once with status 0, also
// inside a fetch or a wait for the log), and the status a window would show
// is written as one line, "ONLINE" or "OFFLINE", only when it changes: to
// standard error (standard output may be the log itself), and only when
// that needs no wait. A run-time error is its line on standard error and
// nothing more.
class HeadlessWindow final : public ShellWindow {
public:
    // An empty end action means EndProcess; an empty writer writes the
    // status lines and the log notice's to standard error without waiting
    // (WriteStandardErrorWithoutWaiting). Its lines begin with
    // kServiceProgramName.
    explicit HeadlessWindow(int tickIntervalMs = 1000, EndAction endProgram = nullptr,
                            LineWriter writeStatus = nullptr);
    ~HeadlessWindow() override;
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    void SetStatus(const std::string& text) override;
    void PumpEvents() override;
    void WatchEndSignals() override;

    // Sleeps until Timer1 is due or an end signal comes, and handles the
    // tick or ends the program. Returns 0 once it has ended (only when the
    // end action returns, in tests).
    int Run() override;

private:
    void EnableTimer1(bool enabled) override;

    using Clock = std::chrono::steady_clock;

    const std::chrono::milliseconds interval_;
    std::optional<Clock::time_point> timer1Due_;
    std::unique_ptr<EndSignals> signals_;
    // The last status written; the text between polls is not shown.
    std::string shownStatus_;
};

} // namespace vornix7
