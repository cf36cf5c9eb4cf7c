#include "shell_rig.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <stdexcept>

#include "config/settings.h"

namespace vornix7::test {

void FakeTransferControl::Execute(const std::string& url, const std::string& /*operation*/)
{
    if (onExecute) {
        onExecute();
    }
    ++executes;
    lastUrl = url;
    busyLeft_ = busyPolls;
    calls_ = 0;
}

bool FakeTransferControl::StillExecuting()
{
    ++calls_;
    if (onStillExecuting) {
        onStillExecuting(calls_);
    }
    if (busyLeft_ > 0) {
        --busyLeft_;
        return true;
    }
    return false;
}

std::optional<std::string> FakeTransferControl::GetChunk(std::int32_t /*size*/, std::int32_t /*dataType*/)
{
    return body;
}

std::string SettingsText(std::initializer_list<std::pair<std::string, std::string>> values)
{
    std::string settings = "[Settings]\n";
    std::string device = "[VORNIX7]\n";
    bool hasUrl = false;
    for (const auto& [key, value] : values) {
        if (key == "URL" || key == "LogfileName") {
            device += key + "=" + value + "\n";
            hasUrl = hasUrl || key == "URL";
        } else {
            settings += key + "=" + value + "\n";
        }
    }
    if (!hasUrl) {
        device += "URL=http://127.0.0.1:1/\n";
    }
    return settings + device;
}

ShellRig::ShellRig(std::optional<std::string> settings, RigOptions options)
{
    if (!dir_.isValid()) {
        throw std::runtime_error("no temporary directory");
    }
    if (settings) {
        QFile file(dir_.filePath(QString::fromLatin1(kSettingsFileName)));
        if (!file.open(QIODevice::WriteOnly)
            || file.write(settings->data(), static_cast<qint64>(settings->size()))
                   != static_cast<qint64>(settings->size())) {
            throw std::runtime_error("cannot write the settings file");
        }
    }

    AppInjections injections;
    injections.fetchStepMs = 1;
    injections.appDir = dir();
    auto control = std::make_unique<FakeTransferControl>();
    control_ = control.get();
    injections.transferControl = std::move(control);
    auto clock = std::make_unique<FakeClock>();
    clock_ = clock.get();
    injections.clock = std::move(clock);
    if (options.memorySink) {
        auto sink = std::make_unique<MemorySink>();
        sink_ = sink.get();
        injections.lineSink = std::move(sink);
    }
    EndAction endProgram;
    if (options.recordEnding) {
        endProgram = [this](int status) {
            endings_.push_back(status);
        };
    }
    window_ = std::make_unique<MainWindow>(options.tickIntervalMs, std::move(endProgram));
    app_ = std::make_unique<LoggerApp>(*window_, std::move(injections));
}

std::string ShellRig::dir() const
{
    return QFile::encodeName(dir_.path()).toStdString();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(2);
    }
    return true;
}

} // namespace vornix7::test
