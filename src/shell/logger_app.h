#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "acquisition/page_fetch.h"
#include "acquisition/poll_result.h"
#include "acquisition/poll_schedule.h"
#include "acquisition/transfer_control.h"
#include "common/clock.h"
#include "common/sensor_table.h"
#include "config/settings.h"
#include "log/line_sink.h"
#include "shell/shell_window.h"

namespace vornix7 {

// The settings file in `folder`, the executable's: start-up reads it and
// --help names it.
std::filesystem::path SettingsFileIn(std::filesystem::path folder);

// The fetch's pause between two steps: the GUI thread simply sleeps, since
// the fetch pumps events itself after every step.
class ThreadSleeper final : public Sleeper {
public:
    void Sleep(int milliseconds) override;
};

// What a test may put in place of the real thing. Every field left at its
// default gives the program's own behaviour.
struct AppInjections {
    int fetchStepMs = 20;
    // Instead of the executable's directory; the path separator is appended
    // as for that.
    std::optional<std::string> appDir;
    // Instead of the transfer control on libcurl, made at start-up.
    std::unique_ptr<TransferControl> transferControl;
    // Instead of the system's local time.
    std::unique_ptr<Clock> clock;
    // Instead of the log file named in the settings.
    std::unique_ptr<LineSink> lineSink;
};

// The whole logger but its window: owns the settings, the sensor table, the
// clock, the log, the transfer control, the fetch and the poll schedule, and
// wires them to the window it is given. The same on every system and with
// every toolkit; each instance is an independent program (tests build a
// fresh one each). The window must outlive it.
class LoggerApp {
public:
    explicit LoggerApp(ShellWindow& window, AppInjections injections = {});
    ~LoggerApp();
    LoggerApp(const LoggerApp&) = delete;
    LoggerApp& operator=(const LoggerApp&) = delete;

    // The start-up sequence, once: the transfer control made, end signals
    // watched, the status cleared, the settings file found beside the
    // executable and read, the window shown (minimized if the settings say
    // so), the poll attached to the tick and Timer1 started. A failure is
    // reported and ends the program with status 1.
    void Start();

    const SettingsRecord& settings() const { return settings_; }
    const std::string& iniFile() const { return IniFile_; }

private:
    void StartUp();

    ShellWindow& window_;
    std::optional<std::string> appDirOverride_;
    int fetchStepMs_;
    std::string IniFile_;
    SettingsRecord settings_;
    SensorTable table_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<LineSink> sink_;
    // The design's name for the transfer control the fetch drives.
    std::unique_ptr<TransferControl> Interschneck;
    ThreadSleeper sleeper_;
    // Built at start-up, since they need the settings and the locale.
    std::optional<PollResultStore> results_;
    std::optional<PageFetcher> fetcher_;
    std::optional<PollSchedule> schedule_;
};

// The rest of each program's main once its window exists: the logger
// started on `window`, then the window's loop until the program ends.
int RunLogger(ShellWindow& window);

} // namespace vornix7
