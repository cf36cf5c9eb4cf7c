// How long a poll's fetch takes against a device that answers at once, and
// in how many of the fetch's 20 ms wait steps: one step means the answer was
// there by the first check, which is the goal. A second pass with 1 ms steps
// shows how long the answer itself takes, which the 20 ms steps hide.
//
// Usage: vornix7-fetch-latency URL [COUNT]   (COUNT fetches per pass, 1..10000, default 200)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/page_fetch.h"
#include "platform/curl_transfer_control.h"
#include "relay_control.h"

namespace {

using vornix7::PageFetcher;

// The window's part in a fetch, without a window: events are pumped
// exactly where the logger's own pump would pump them.
class EventPump final : public vornix7::WindowServices {
public:
    void SetStatus(const std::string&) override {}
    void PumpEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
};

// The logger's sleep between steps, counted.
class CountingSleeper final : public vornix7::Sleeper {
public:
    int steps = 0;
    void Sleep(int milliseconds) override
    {
        ++steps;
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
};

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const std::size_t at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

void PrintSpread(const char* what, const std::vector<double>& ms)
{
    std::printf("  %-22s median %7.2f ms   p95 %7.2f ms   max %7.2f ms\n", what, Percentile(ms, 0.5),
                Percentile(ms, 0.95), Percentile(ms, 1.0));
}

// Returns the number of fetches that came back without a page.
int RunPass(const std::string& url, int count, int stepMs)
{
    vornix7::CurlTransferControl real;
    // When the fetch first sees the request finished, counted from Execute.
    QElapsedTimer clock;
    qint64 answerNs = -1;
    vornix7::bench::RelayControl control(real, [&](const char* operation, const std::function<void()>& call) {
        const std::string_view name = operation;
        if (name == "Execute") {
            answerNs = -1;
            clock.start();
        }
        call();
        if (name == "StillExecuting" && !control.running() && answerNs < 0) {
            answerNs = clock.nsecsElapsed();
        }
    });
    EventPump pump;
    CountingSleeper sleeper;
    PageFetcher fetcher(control, pump, sleeper, 1, stepMs);

    std::vector<double> fetchMs;
    std::vector<double> answerMs;
    std::map<int, int> stepsTaken; // steps -> fetches
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        sleeper.steps = 0;
        QElapsedTimer timer;
        timer.start();
        const std::string page = fetcher.FetchDevicePage(url);
        fetchMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (page.empty()) {
            ++failed;
        }
        if (answerNs >= 0) {
            answerMs.push_back(static_cast<double>(answerNs) / 1e6);
        }
        ++stepsTaken[sleeper.steps];
    }

    std::printf("%d fetches with %d ms steps, %d without a page\n", count, stepMs, failed);
    PrintSpread("whole fetch", fetchMs);
    if (!answerMs.empty()) {
        PrintSpread("Execute to answer seen", answerMs);
    }
    std::printf("  steps taken:");
    for (const auto& [steps, fetches] : stepsTaken) {
        std::printf("  %d step%s x %d", steps, steps == 1 ? "" : "s", fetches);
    }
    std::printf("\n");
    return failed;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s URL [COUNT]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const int count = argc == 3 ? std::atoi(argv[2]) : 200;
    if (count < 1 || count > 10000) {
        std::fprintf(stderr, "COUNT must be 1..10000\n");
        return 2;
    }
    int failed = RunPass(url, count, 20);
    failed += RunPass(url, count, 1);
    return failed == 0 ? 0 : 1;
}
