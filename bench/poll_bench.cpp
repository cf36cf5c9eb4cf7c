// One poll's work on a page already fetched: tag extraction, readings, the
// log line into memory (no file write). Run: ./build/bench/vornix7-bench
//
// Goals: the 2 KB page well under 20 us; a 1,000,000-byte page without any
// wanted element (the worst a poll keeps) within 10x one case-folding pass
// over the same bytes (BM_CaseFoldBaseline).

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "acquisition/poll_result.h"
#include "common/ascii.h"

namespace vornix7 {
namespace {

constexpr std::size_t kLargePageBytes = 1'000'000;

class FixedClock final : public Clock {
public:
    LocalDateTime now() const override { return {2031, 12, 24, 23, 59, 58}; }
};

// Keeps only the byte count, so the line is built but never written.
class MemorySink final : public LineSink {
public:
    void Append(std::string_view line) override
    {
        benchmark::DoNotOptimize(line.data());
        bytes += line.size();
    }
    std::size_t bytes = 0;
};

std::string RepeatTo(const std::vector<std::string>& pieces, std::size_t size)
{
    std::string page;
    page.reserve(size + 64);
    for (std::size_t i = 0; page.size() < size; ++i) {
        page += pieces[i % pieces.size()];
    }
    page.resize(size);
    return page;
}

// A status page as the device serves it: about 2 KB, t0..t7 and a name.
std::string NormalPage()
{
    std::string page =
        "<!DOCTYPE html>\n<html><head><title>VORNIX7 status</title>"
        "<meta http-equiv=\"refresh\" content=\"5\"><style>td{padding:2px 8px}</style></head>\n"
        "<body><h1>VORNIX7</h1><p>Device: <devicename>Lab North</devicename></p>\n<table>\n";
    for (int i = 0; i < 8; ++i) {
        const std::string n = std::to_string(i);
        page.append("<tr><td class=\"name\">Sensor ").append(n).append("</td><td class=\"value\"><t");
        page.append(n).append(">").append(std::to_string(20 + i)).append(".25</t").append(n);
        page.append("></td><td class=\"unit\">&deg;C</td><td class=\"state\">ok</td></tr>\n");
    }
    page += "</table>\n";
    while (page.size() < 2000) {
        page += "<p class=\"note\">Uptime, firmware and network details follow here.</p>\n";
    }
    return page + "</body></html>\n";
}

// Realistic markup, dense in '<', holding no wanted element.
std::string HtmlFillerPage()
{
    return RepeatTo({"<tr><td>21.5</td><td>ok</td></tr>\n"}, kLargePageBytes);
}

// Tags that nearly match the wanted ones.
std::string NearMissPage()
{
    return RepeatTo({"<t17>", "<t1x>", "</devicenam>", "<<<<", "<T99>5</T99>", "<devicenamex>"},
                    kLargePageBytes);
}

void StorePoll(benchmark::State& state, const std::string& page, int lastSensor)
{
    const SettingsRecord settings{5, "http://192.168.1.100/", 0, 1, 1, "logfile.txt", lastSensor};
    SensorTable table;
    const FixedClock clock;
    MemorySink sink;
    PollResultStore store(settings, table, clock, sink, ':');
    for (auto _ : state) {
        store.StorePollResult(page);
        benchmark::DoNotOptimize(table);
        benchmark::ClobberMemory();
    }
    if (sink.bytes == 0) {
        state.SkipWithError("no log line was written");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
    state.counters["page_bytes"] = static_cast<double>(page.size());
}

void BM_NormalPage_LastSensor7(benchmark::State& state)
{
    StorePoll(state, NormalPage(), 7);
}

void BM_HtmlFiller1MB_NoElement_LastSensor16(benchmark::State& state)
{
    StorePoll(state, HtmlFillerPage(), 16);
}

void BM_NearMiss1MB_NoElement_LastSensor16(benchmark::State& state)
{
    StorePoll(state, NearMissPage(), 16);
}

void CaseFold(benchmark::State& state, const std::string& page)
{
    std::string folded(page.size(), '\0');
    for (auto _ : state) {
        for (std::size_t i = 0; i < page.size(); ++i) {
            folded[i] = AsciiLower(page[i]);
        }
        benchmark::DoNotOptimize(folded.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

void BM_CaseFoldBaseline_HtmlFiller1MB(benchmark::State& state)
{
    CaseFold(state, HtmlFillerPage());
}

void BM_CaseFoldBaseline_NearMiss1MB(benchmark::State& state)
{
    CaseFold(state, NearMissPage());
}

BENCHMARK(BM_NormalPage_LastSensor7)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HtmlFiller1MB_NoElement_LastSensor16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NearMiss1MB_NoElement_LastSensor16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaseFoldBaseline_HtmlFiller1MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaseFoldBaseline_NearMiss1MB)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace vornix7
