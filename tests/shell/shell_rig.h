#pragma once

#include <QTemporaryDir>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/transfer_control.h"
#include "common/clock.h"
#include "log/line_sink.h"
#include "named_case.h"
#include "shell/logger_app.h"
#include "shell/qt/main_window.h"

class QObject;

namespace vornix7::test {

// A device on a script: each request stays busy for `busyPolls` calls of
// StillExecuting, then answers `body` (std::nullopt: no answer at all).
class FakeTransferControl final : public TransferControl {
public:
    int busyPolls = 0;
    std::optional<std::string> body = std::string("<devicename>Lab</devicename><t0>21.5</t0>");
    // Runs first in every Execute; a test makes it throw.
    std::function<void()> onExecute;
    // Called on every StillExecuting with its number within the request.
    std::function<void(int call)> onStillExecuting;

    int executes = 0;
    std::string lastUrl;

    void Cancel() override {}
    void Execute(const std::string& url, const std::string& operation) override;
    bool StillExecuting() override;
    std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) override;

private:
    int busyLeft_ = 0;
    int calls_ = 0;
};

class FakeClock final : public Clock {
public:
    LocalDateTime time{2024, 5, 6, 7, 8, 9};
    LocalDateTime now() const override { return time; }
};

class MemorySink final : public LineSink {
public:
    std::vector<std::string> lines;
    void Append(std::string_view line) override { lines.emplace_back(line); }
};

// Settings file text: URL and LogfileName go to [VORNIX7], everything else
// to [Settings]. The URL is on 127.0.0.1 unless given, so no test can ever
// reach the default address on the local network.
std::string SettingsText(std::initializer_list<std::pair<std::string, std::string>> values);

struct RigOptions {
    int tickIntervalMs = 10;
    bool memorySink = true;   // false: the log file the settings name
    bool recordEnding = true; // false: the program's own end (death tests)
};

// A LoggerApp on fakes in a fresh temporary app dir, with the settings file
// written there unless `settings` is empty.
class ShellRig {
public:
    explicit ShellRig(std::optional<std::string> settings, RigOptions options = {});
    ShellRig(const ShellRig&) = delete;
    ShellRig& operator=(const ShellRig&) = delete;

    std::string dir() const;
    LoggerApp& app() { return *app_; }
    MainWindow& window() { return *window_; }
    FakeTransferControl& control() { return *control_; }
    FakeClock& clock() { return *clock_; }
    MemorySink& sink() { return *sink_; }
    // Statuses passed to the end action, in order.
    const std::vector<int>& endings() const { return endings_; }

    template <typename T> T* child(const char* name)
    {
        return window().findChild<T*>(QString::fromLatin1(name));
    }

private:
    QTemporaryDir dir_;
    FakeTransferControl* control_ = nullptr;
    FakeClock* clock_ = nullptr;
    MemorySink* sink_ = nullptr;
    std::vector<int> endings_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<LoggerApp> app_;
};

// Processes events until `done` holds or `timeoutMs` passes; true if it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

} // namespace vornix7::test
