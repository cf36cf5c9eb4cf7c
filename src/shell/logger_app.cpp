#include "shell/logger_app.h"

#include <chrono>
#include <thread>

#include "config/ini_file.h"
#include "log/log_file.h"
#include "log/log_with_side_file.h"
#include "platform/curl_transfer_control.h"
#include "platform/files.h"
#include "platform/system.h"

namespace vornix7 {

void ThreadSleeper::Sleep(int milliseconds)
{
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

std::filesystem::path SettingsFileIn(std::filesystem::path folder)
{
    folder += kPathSeparator;
    folder += kSettingsFileName;
    return folder;
}

LoggerApp::LoggerApp(ShellWindow& window, AppInjections injections)
    : window_(window), appDirOverride_(std::move(injections.appDir)), fetchStepMs_(injections.fetchStepMs),
      clock_(injections.clock ? std::move(injections.clock) : std::make_unique<SystemClock>()),
      sink_(std::move(injections.lineSink)), Interschneck(std::move(injections.transferControl))
{
}

LoggerApp::~LoggerApp()
{
    // The hook reaches the schedule, which goes before the window does.
    window_.SetTickHook(nullptr);
}

void LoggerApp::Start()
{
    window_.RunAtBoundary([this] { StartUp(); });
}

void LoggerApp::StartUp()
{
    // libcurl that cannot start is a run-time error like any other.
    if (!Interschneck) {
        Interschneck = std::make_unique<CurlTransferControl>();
    }
    // Signals end the program like Exit from here on; watched inside
    // start-up so a failure is reported like any other start-up error.
    window_.WatchEndSignals();

    window_.SetStatus("");
    // The file is opened by the folder's own name, which the code page may
    // not hold (Windows); IniFile is that name as text.
    const std::filesystem::path iniPath =
        SettingsFileIn(appDirOverride_ ? PathFromCodePage(*appDirOverride_) : ExecutableFolder());
    IniFile_ = CodePageFromPath(iniPath);
    const IniFile settingsFile = IniFile::LoadFromSystemPath(iniPath);
    if (settingsFile.problem()) {
        // Not an error: every setting takes its default and the program
        // carries on, but the user is told.
        WriteErrorLine(window_.programName() + ": cannot read the settings file '" + IniFile_
                       + "': " + *settingsFile.problem() + "; using the defaults\n");
    }
    settings_ = ReadSettings(settingsFile);

    if (!sink_) {
        // Waiting for the log's lock keeps the window alive, so Exit works;
        // lines that wait for a busy log are shown to the user.
        sink_ = std::make_unique<LogWithSideFile>(
            settings_.LogfileName,
            [this] {
                sleeper_.Sleep(LogFile::kStepMilliseconds);
                window_.PumpEvents();
            },
            [this](const std::string& text) { window_.ShowLogNotice(text); });
    }
    results_.emplace(settings_, table_, *clock_, *sink_, LocaleTimeSeparator());
    fetcher_.emplace(*Interschneck, window_, sleeper_, settings_.HTMLTimeout, fetchStepMs_);
    schedule_.emplace(settings_, *fetcher_, *results_, window_);

    window_.ShowWindow(settings_.StartMinimized != 0);
    window_.SetTickHook([this] { schedule_->PollTick(); });
    window_.StartTimer1();
}

int RunLogger(ShellWindow& window)
{
    LoggerApp logger(window);
    logger.Start();
    window.EndProgram(window.Run());
    return 0;
}

} // namespace vornix7
