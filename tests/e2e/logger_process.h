#pragma once

#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "e2e_timing.h"
#include "scratch_dir.h"

namespace vornix7::e2e {

using test::FileExists;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

inline constexpr const char* kLogName = "log.txt";
inline constexpr const char* kSettingsName = "VORNIX7_Logger.ini";

// The program the tests run: the window program, or with
// VORNIX7_E2E_PROGRAM=headless in the environment the windowless service
// program, so the suites that fit both run from the same tables (ctest runs
// them once for each).
enum class LoggerProgram { Window, Headless };
LoggerProgram ProgramUnderTest();
// Its file name, which is also the name it gives itself.
std::string ProgramName();

// How the logger is started: its arguments, and whether it gets a display.
struct LoggerLaunch {
    std::vector<std::string> args;
    // False: offscreen chosen by the test. True: no Qt platform chosen and
    // no DISPLAY or WAYLAND_DISPLAY, as under a service manager.
    bool noDisplay = false;
    // Added to (or replacing in) its environment.
    std::vector<std::pair<std::string, std::string>> env;
    // Of standard input, output and error, those it is started without.
    std::vector<int> closedDescriptors;
};

// The real logger in a folder of its own: a copy of the built program under
// test, the settings file beside it, and the folder as working directory, so
// the log lands there too. Without a window (offscreen), in the C locale so the time stamp
// reads "hh:mm:ss". Its standard output and error go to logger.out and
// logger.err in the folder.
class LoggerProcess {
public:
    // Writes the settings file unless `settings` is empty.
    explicit LoggerProcess(const std::optional<std::string>& settings);

    const ScratchDir& dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ / name; }

    void Start(const LoggerLaunch& launch = {});
    ChildProcess& process() { return *process_; }
    std::chrono::steady_clock::time_point startedAt() const { return startedAt_; }

    // Waits until the program has its SIGTERM, SIGINT and SIGHUP handlers in
    // place, so a signal from now on must end it cleanly. False on time-out.
    bool WaitUntilSignalsHandled(Millis timeout = Scaled(Millis(10000)));

    // The file's text, empty when it does not exist.
    std::string Read(const std::string& name = kLogName) const;
    // Its lines with the time stamps masked.
    std::vector<std::string> Lines(const std::string& name = kLogName) const;
    // Waits until the file holds at least `count` whole lines, or the
    // program has ended; true if the lines are there.
    bool WaitForLines(std::size_t count, Millis timeout, const std::string& name = kLogName);

    // Signals the program and waits for its end; nullopt if it goes on.
    std::optional<ExitStatus> Stop(int signal = SIGTERM, Millis timeout = Scaled(Millis(3000)));
    std::optional<ExitStatus> WaitForExit(Millis timeout) { return process_->WaitForExit(timeout); }

    std::string Stderr() const;
    // The lines on standard error that report a run-time error.
    std::vector<std::string> RuntimeErrors() const;

    // The program's resident memory in kB, or -1 once it is gone.
    long ResidentKilobytes() const;

private:
    ScratchDir dir_;
    std::string program_;
    std::unique_ptr<ChildProcess> process_;
    std::chrono::steady_clock::time_point startedAt_;
};

} // namespace vornix7::e2e
