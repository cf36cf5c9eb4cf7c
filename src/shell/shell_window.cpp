#include "shell/shell_window.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <utility>

#include "log/log_with_side_file.h"

namespace vornix7 {

void WriteErrorLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

ShellWindow::ShellWindow(EndAction endProgram, std::string programName, LineWriter writeLine)
    : endProgram_(endProgram ? std::move(endProgram) : EndAction(EndProcess)),
      programName_(std::move(programName)),
      writeLine_(writeLine ? std::move(writeLine) : LineWriter(WriteErrorLine))
{
}

void ShellWindow::StartTimer1()
{
    if (ended_ || timer1Running_) {
        return;
    }
    timer1Running_ = true;
    EnableTimer1(true);
}

void ShellWindow::StopTimer1()
{
    if (!timer1Running_) {
        return;
    }
    timer1Running_ = false;
    EnableTimer1(false);
}

void ShellWindow::SetTickHook(TickHook hook)
{
    tickHook_ = std::move(hook);
}

void ShellWindow::HandleTick()
{
    if (!timer1Running_) {
        return;
    }
    // Stopped while the hook runs: the fetch pumps events, and a second
    // tick must not start inside the first.
    StopTimer1();
    RunAtBoundary(tickHook_);
    if (!ended_) {
        StartTimer1();
    }
}

void ShellWindow::EndProgram(int status)
{
    if (ended_) {
        return;
    }
    ended_ = true;
    StopTimer1();
    endProgram_(errorPending_ ? 1 : status);
}

void ShellWindow::FailWith(const std::string& kind, const std::string& detail)
{
    if (ended_) {
        return;
    }
    // A message box runs its own event loop: no tick may start meanwhile,
    // and a signal or close while it is open still ends with status 1.
    StopTimer1();
    errorPending_ = true;
    WriteErrorLine(RunTimeErrorMessage(programName_, kind, detail) + "\n");
    ShowRuntimeError("Run-time error: " + kind + "\n\n" + detail);
    EndProgram(1);
}

void ShellWindow::RunAtBoundary(const std::function<void()>& body)
{
    std::optional<RuntimeError> caught;
    try {
        if (body) {
            body();
        }
    } catch (const RuntimeError& error) {
        caught = error;
    } catch (const std::exception& error) {
        caught.emplace(kInternalError, error.what());
    } catch (...) {
        caught.emplace(kInternalError, "an exception of unknown type");
    }
    if (caught) {
        FailWith(caught->kind(), caught->detail());
    }
}

void ShellWindow::ShowLogNotice(const std::string& text)
{
    // Only the counts of a busy spell change without a line.
    const auto busy = [](const std::string& notice) {
        return notice.starts_with(LogWithSideFile::kBusyNotice);
    };
    if (!text.empty() && text != lastNotice_ && (lastNotice_.empty() || !busy(text) || !busy(lastNotice_))) {
        WriteLine(programName_ + ": " + text + "\n");
    } else if (!lastNotice_.empty() && text.empty()) {
        WriteLine(programName_ + ": the log file can be written again; the waiting lines are in it\n");
    }
    lastNotice_ = text;
}

} // namespace vornix7
