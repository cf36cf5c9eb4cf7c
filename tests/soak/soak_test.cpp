#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "log_check.h"
#include "memory_probe.h"
#include "platform/system.h"
#include "scripted_device.h"
#include "shell/logger_app.h"
#include "shell/qt/main_window.h"

namespace vornix7::soak {
namespace {

constexpr int kPolls = 5000;
constexpr int kWarmUpPoll = 500;
constexpr int kTimeLimitMs = 120'000;
constexpr std::int64_t kMaxResidentGrowthKiB = 1024;
constexpr std::int64_t kMaxHeapGrowthBytes = 256 * 1024;
constexpr const char* kUrl = "http://127.0.0.1:1/";

// Every line is synced to disk; on tmpfs that costs nothing, so the soak
// measures the logger rather than the disk.
QString ScratchTemplate()
{
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return base + QStringLiteral("/vornix7-soak-XXXXXX");
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    ASSERT_TRUE(file.good()) << path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct MemorySample {
    std::int64_t residentKiB = -1;
    std::int64_t heapBytes = -1;
};

MemorySample SampleMemory()
{
    return {ResidentKiB(), LiveHeapBytes()};
}

void Report(const char* key, std::int64_t value)
{
    testing::Test::RecordProperty(key, std::to_string(value));
    std::printf("soak: %s = %lld\n", key, static_cast<long long>(value));
}

// Weeks of unattended polling in a few seconds: the real program on a 1 ms
// tick, the real log file, a device that keeps cycling through a good page,
// a slow answer, an empty body and a refusal. Every poll must leave exactly
// its own line, whole and in order, and memory must stay flat once warm.
TEST(Soak, EveryPollLeavesItsOwnLineAndMemoryStaysFlat)
{
    QTemporaryDir dir(ScratchTemplate());
    ASSERT_TRUE(dir.isValid());
    const std::string appDir = QFile::encodeName(dir.path()).toStdString();
    const std::string logPath = appDir + "/soak.log";
    WriteFile(appDir + "/" + kSettingsFileName, "[Settings]\nPollInterval=0\nHTMLTimeout=0\nUseLogFile=1\n"
                                                "LastSensor=7\nStartMinimized=0\n[VORNIX7]\nURL="
                                                    + std::string(kUrl) + "\nLogfileName=" + logPath + "\n");

    QEventLoop loop;
    std::vector<int> endings;
    auto clock = std::make_unique<PollClock>();
    auto device = std::make_unique<ScriptedDevice>(*clock, kUrl);
    ScriptedDevice& script = *device;
    AppInjections injections;
    injections.fetchStepMs = 1;
    injections.appDir = appDir;
    injections.transferControl = std::move(device);
    injections.clock = std::move(clock);
    MainWindow window(1, [&](int status) {
        endings.push_back(status);
        loop.quit();
    });
    LoggerApp app(window, std::move(injections));

    MemorySample warm;
    script.onPoll = [&](int poll) {
        if (poll == kWarmUpPoll) {
            warm = SampleMemory();
        }
        // Ends like Exit during the last poll: that poll still completes,
        // since the test's end action returns, and no tick follows.
        if (poll == kPolls - 1) {
            window.EndProgram(0);
        }
    };
    QTimer::singleShot(kTimeLimitMs, &loop, [&] { window.EndProgram(0); });

    QElapsedTimer elapsed;
    elapsed.start();
    app.Start();
    if (endings.empty()) {
        loop.exec();
    }
    const qint64 ms = elapsed.elapsed();
    const MemorySample end = SampleMemory();

    Report("polls", script.polls());
    Report("milliseconds", ms);
    Report("rss_warm_kib", warm.residentKiB);
    Report("rss_end_kib", end.residentKiB);
    Report("heap_warm_bytes", warm.heapBytes);
    Report("heap_end_bytes", end.heapBytes);

    EXPECT_EQ(endings, std::vector<int>{0}) << "ended by a run-time error (status 1) or not at all";
    ASSERT_EQ(script.polls(), kPolls) << "not all polls within " << kTimeLimitMs / 1000 << " s";
    EXPECT_TRUE(script.faults().empty()) << testing::PrintToString(script.faults());

    const LogReport log = CheckLog(ReadFile(logPath), kPolls, LocaleTimeSeparator());
    Report("log_lines", log.lines);
    Report("lines_missing", log.missing);
    EXPECT_EQ(log.lines, kPolls);
    EXPECT_TRUE(log.clean()) << "malformed " << log.malformed << ", duplicated " << log.duplicated
                             << ", out of order " << log.outOfOrder << ", missing " << log.missing
                             << ", wrong content " << log.wrongContent << ", partial tail " << log.partialTail
                             << "\n"
                             << testing::PrintToString(log.examples);

    EXPECT_LT(end.heapBytes - warm.heapBytes, kMaxHeapGrowthBytes) << "live heap grew";
    if (ResidentSizeIsProgramOwn()) {
        EXPECT_LT(end.residentKiB - warm.residentKiB, kMaxResidentGrowthKiB) << "resident memory grew";
    }
}

} // namespace
} // namespace vornix7::soak
