// Where a poll's CPU time goes: the logger's own window, transfer control,
// fetch, result store and log file, each call timed on the thread's CPU
// clock (user and kernel time), polled once per interval against a live
// device such as vornix7-sim, with the window's events pumped in between as
// the idle program does.
//
// Usage: vornix7-poll-phases URL LOGFILE [POLLS] [INTERVAL_MS]
//   POLLS 1..10000 (default 60), INTERVAL_MS 0..10000 (default 1000)

#include <QApplication>
#include <QThread>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "acquisition/page_fetch.h"
#include "acquisition/poll_result.h"
#include "log/log_file.h"
#include "platform/curl_transfer_control.h"
#include "platform/signals.h"
#include "relay_control.h"
#include "shell/logger_app.h"
#include "shell/qt/main_window.h"

namespace {

std::int64_t ThreadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// CPU time and calls per phase.
struct Phases {
    struct Cost {
        std::int64_t ns = 0;
        long calls = 0;
    };
    std::map<std::string, Cost> costs;

    template <typename Step> auto Time(const char* phase, const Step& step)
    {
        const std::int64_t start = ThreadCpuNs();
        struct Charge {
            Cost& cost;
            std::int64_t start;
            ~Charge()
            {
                cost.ns += ThreadCpuNs() - start;
                ++cost.calls;
            }
        } charge{costs[phase], start};
        return step();
    }
};

class TimedWindow final : public vornix7::WindowServices {
public:
    TimedWindow(vornix7::MainWindow& window, Phases& phases) : window_(window), phases_(phases) {}
    void SetStatus(const std::string& text) override
    {
        phases_.Time("window: SetStatus", [&] { window_.SetStatus(text); });
    }
    // Each pump of a poll on its own: they handle different events.
    int pumpsThisPoll = 0;
    void PumpEvents() override
    {
        const std::string phase = "window: PumpEvents #" + std::to_string(++pumpsThisPoll);
        phases_.Time(phase.c_str(), [&] { window_.PumpEvents(); });
    }

private:
    vornix7::MainWindow& window_;
    Phases& phases_;
};

class TimedSleeper final : public vornix7::Sleeper {
public:
    explicit TimedSleeper(Phases& phases) : phases_(phases) {}
    int steps = 0;
    void Sleep(int milliseconds) override
    {
        ++steps;
        phases_.Time("fetch: Sleep", [&] { inner_.Sleep(milliseconds); });
    }

private:
    vornix7::ThreadSleeper inner_;
    Phases& phases_;
};

class TimedSink final : public vornix7::LineSink {
public:
    TimedSink(const std::string& path, Phases& phases) : file_(path), phases_(phases) {}
    void Append(std::string_view line) override
    {
        phases_.Time("log: Append (write, fdatasync)", [&] { file_.Append(line); });
    }

private:
    vornix7::LogFile file_;
    Phases& phases_;
};

} // namespace

int main(int argc, char* argv[])
{
    vornix7::IgnoreWriteSignals();
    QApplication app(argc, argv);
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: %s URL LOGFILE [POLLS] [INTERVAL_MS]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const int polls = argc > 3 ? std::atoi(argv[3]) : 60;
    const int intervalMs = argc > 4 ? std::atoi(argv[4]) : 1000;
    if (polls < 1 || polls > 10000 || intervalMs < 0 || intervalMs > 10000) {
        std::fprintf(stderr, "POLLS 1..10000, INTERVAL_MS 0..10000\n");
        return 2;
    }

    // The window as the logger shows it, with its own transfer control.
    Phases phases;
    vornix7::MainWindow window(1000, [](int) {});
    // As the program does where nobody can see the window.
    if (!vornix7::HasRealDisplay()) {
        window.setUpdatesEnabled(false);
    }
    window.showNormal();
    TimedWindow timedWindow(window, phases);
    vornix7::CurlTransferControl curl;
    vornix7::bench::RelayControl control(curl, [&](const char* operation, const std::function<void()>& call) {
        phases.Time(("control: " + std::string(operation)).c_str(), call);
    });
    TimedSleeper sleeper(phases);
    vornix7::PageFetcher fetcher(control, timedWindow, sleeper, 1);

    vornix7::SettingsRecord settings;
    settings.URL = url;
    settings.HTMLTimeout = 1;
    settings.UseLogFile = 1;
    settings.LastSensor = 7;
    vornix7::SensorTable table;
    vornix7::SystemClock clock;
    TimedSink sink(argv[2], phases);
    vornix7::PollResultStore results(settings, table, clock, sink, ':');

    int failed = 0;
    std::int64_t idleNs = 0;
    std::int64_t pollNs = 0;
    std::int64_t storeNs = 0;
    for (int i = 0; i < polls; ++i) {
        // Between polls the idle program only waits for events.
        const std::int64_t idleStart = ThreadCpuNs();
        QThread::msleep(static_cast<unsigned long>(intervalMs));
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const std::int64_t pollStart = ThreadCpuNs();
        idleNs += pollStart - idleStart;
        timedWindow.pumpsThisPoll = 0;

        const std::string page = fetcher.FetchDevicePage(settings.URL);
        failed += page.empty() ? 1 : 0;
        const std::int64_t storeStart = ThreadCpuNs();
        results.StorePollResult(page);
        storeNs += ThreadCpuNs() - storeStart;
        timedWindow.PumpEvents();
        pollNs += ThreadCpuNs() - pollStart;
    }

    const auto perPoll = [polls](std::int64_t ns) {
        return static_cast<double>(ns) / 1e6 / polls;
    };
    const std::int64_t appendNs = phases.costs["log: Append (write, fdatasync)"].ns;
    std::printf("%d polls of %s every %d ms, %d without a page, %.1f fetch steps per poll\n", polls,
                url.c_str(), intervalMs, failed, static_cast<double>(sleeper.steps) / polls);
    std::printf("thread CPU per poll (user + kernel):\n");
    for (const auto& [phase, cost] : phases.costs) {
        std::printf("  %-34s %8.3f ms  (%.1f calls)\n", phase.c_str(), perPoll(cost.ns),
                    static_cast<double>(cost.calls) / polls);
    }
    std::printf("  %-34s %8.3f ms\n", "results: tag scan, line format", perPoll(storeNs - appendNs));
    std::printf("  %-34s %8.3f ms\n", "whole poll", perPoll(pollNs));
    std::printf("  %-34s %8.3f ms\n", "waiting between polls", perPoll(idleNs));
    return failed == 0 ? 0 : 1;
}
