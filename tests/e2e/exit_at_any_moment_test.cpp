// A signal may come at any moment: while the program waits for its tick,
// in the middle of a fetch or while a line is being written. Each run ends
// with status 0 at once, and its log holds only whole, correct lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include "log_lines.h"
#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kOk = OkLine("Lab North", {"21.5", "48.", "-3.25", "1.", "2.", "3.", "4.", "5."});

struct LoggerRun {
    std::unique_ptr<SimProcess> device;
    std::unique_ptr<LoggerProcess> logger;
    int delayMs = 0;
    Millis signalAfter{0};
    std::optional<Clock::time_point> signalledAt;
    std::optional<Clock::time_point> endedAt;
};

struct MomentCase {
    std::string name;
    int signal;
    int runs;
};

using test::PrintTo;

class ExitAtAnyMoment : public testing::TestWithParam<MomentCase> {};

TEST_P(ExitAtAnyMoment, EndsWithStatusZeroAndLeavesOnlyWholeLines)
{
    const MomentCase& c = GetParam();
    const unsigned seed = std::random_device()();
    RecordProperty("seed", static_cast<int>(seed));
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto between = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };

    // The runs go side by side, each with a device of its own, so the whole
    // batch takes about as long as one run.
    ScratchDir deviceDir;
    std::vector<LoggerRun> runs(static_cast<std::size_t>(c.runs));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        LoggerRun& run = runs[i];
        run.delayMs = between(0, 200);
        run.device = std::make_unique<SimProcess>(
            deviceDir.path(),
            std::vector<std::string>{"--name", "Lab North", "--values", "21.5,48,-3.25,1,2,3,4,5", "--mode",
                                     "delay", "--delay-ms", std::to_string(run.delayMs)},
            0, "sim" + std::to_string(i));
        run.logger =
            std::make_unique<LoggerProcess>(SettingsText({.url = run.device->url(), .pollInterval = "0"}));
        // Half the signals anywhere in the first 2.5 s, half aimed at the
        // first two polls (a tick each second), while they fetch and write.
        run.signalAfter = i % 2 == 0 ? Millis(between(0, 2500))
                                     : Millis(between(1, 2) * 1000 + between(0, run.delayMs + 40));
    }
    for (LoggerRun& run : runs) {
        run.logger->Start();
    }
    std::vector<std::pair<Clock::time_point, LoggerRun*>> schedule;
    for (LoggerRun& run : runs) {
        // Up to here a signal would meet the default action: the moments
        // are counted from when the program handles them.
        ASSERT_TRUE(run.logger->WaitUntilSignalsHandled()) << run.logger->Stderr();
        schedule.emplace_back(Clock::now() + run.signalAfter, &run);
    }
    std::sort(schedule.begin(), schedule.end());
    // Notes when each signalled run has ended, so every run's time to end
    // is measured, however the moments fall.
    const auto noteEnds = [&runs] {
        bool waiting = false;
        for (LoggerRun& run : runs) {
            if (run.signalledAt && !run.endedAt && !run.logger->process().Running()) {
                run.endedAt = Clock::now();
            }
            waiting = waiting || !run.endedAt;
        }
        std::this_thread::sleep_for(Millis(1));
        return waiting;
    };
    for (auto& [when, run] : schedule) {
        while (Clock::now() < when) {
            noteEnds();
        }
        run->logger->process().Signal(c.signal);
        run->signalledAt = Clock::now();
    }
    const auto deadline = Clock::now() + Scaled(Millis(2000));
    while (noteEnds() && Clock::now() < deadline) {
    }

    for (LoggerRun& run : runs) {
        SCOPED_TRACE("device delay " + std::to_string(run.delayMs) + " ms, signal after "
                     + std::to_string(run.signalAfter.count()) + " ms");
        ASSERT_TRUE(run.endedAt.has_value()) << "still running";
        ASSERT_EQ(run.logger->WaitForExit(Millis(0)), ExitStatus::Code(0)) << run.logger->Stderr();
        EXPECT_LE(*run.endedAt - *run.signalledAt, Scaled(Millis(300)));
        const std::string log = run.logger->Read();
        for (const auto& line : SplitLines(log)) {
            EXPECT_TRUE(IsWholeLine(line, 8)) << line;
        }
        EXPECT_EQ(run.logger->Lines(), Times(static_cast<int>(WholeLineCount(log)), kOk));
        EXPECT_EQ(run.logger->RuntimeErrors(), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(E2e, ExitAtAnyMoment,
                         testing::Values(MomentCase{"SIGTERM_in_8_runs", SIGTERM, 8},
                                         MomentCase{"SIGINT_in_7_runs", SIGINT, 7}),
                         test::CaseName());

} // namespace
} // namespace vornix7::e2e
