// The fetch's own rules against a scripted control and a sleeper that only
// counts: how long it waits, when it gives up, what it cancels and what the
// label says. No real time passes and no socket is opened.
#include "acquisition/page_fetch.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/runtime_error.h"

namespace vornix7 {
namespace {

constexpr int kNever = INT_MAX;

class CountingSleeper final : public Sleeper {
public:
    void Sleep(int milliseconds) override
    {
        EXPECT_EQ(milliseconds, 20);
        ++steps;
    }
    int steps = 0;
};

// A device that answers after a number of 20 ms steps, or never.
class ScriptedControl final : public TransferControl {
public:
    ScriptedControl(const CountingSleeper& clock, int answersAfterSteps, std::optional<std::string> answer)
        : clock_(clock), answersAfterSteps_(answersAfterSteps), answer_(std::move(answer))
    {
    }

    void Cancel() override
    {
        if (running_)
            ++cancelledWhileRunning;
        running_ = false;
        answered_ = false;
    }
    void Execute(const std::string& url, const std::string& operation) override
    {
        EXPECT_EQ(url, "http://127.0.0.1:8/status.html");
        EXPECT_EQ(operation, "GET");
        ++executes;
        running_ = true;
    }
    bool StillExecuting() override
    {
        if (running_ && clock_.steps >= answersAfterSteps_) {
            running_ = false;
            answered_ = true;
        }
        return running_;
    }
    std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) override
    {
        EXPECT_EQ(size, 1'000'000);
        EXPECT_EQ(dataType, 0);
        return answered_ ? answer_ : std::nullopt;
    }

    bool running() const { return running_; }
    int executes = 0;
    int cancelledWhileRunning = 0;

private:
    const CountingSleeper& clock_;
    int answersAfterSteps_;
    std::optional<std::string> answer_;
    bool running_ = false;
    bool answered_ = false;
};

class LabelTrail final : public WindowServices {
public:
    void SetStatus(const std::string& text) override { labels.push_back(text); }
    void PumpEvents() override {}
    std::vector<std::string> labels;
};

struct FetchCase {
    const char* name;
    std::int32_t timeoutSeconds;
    int answersAfterSteps;
    std::optional<std::string> answer; // std::nullopt: the request ended without one
    int steps;                         // 20 ms steps the fetch waits
    std::string page;
    std::vector<std::string> labels;
    bool lateCancelled;
    bool overflows = false;
};

void PrintTo(const FetchCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::vector<std::string> kOnline = {"Downloading...", "ONLINE"};
const std::vector<std::string> kOffline = {"Downloading...", "OFFLINE"};
const std::vector<std::string> kNoVerdict = {"Downloading..."};

std::vector<FetchCase> FetchCases()
{
    return {
        {"a_time_out_of_0_waits_one_step", 0, kNever, "page", 1, "", kOffline, true},
        {"a_time_out_of_1_gives_up_after_51_steps", 1, kNever, "page", 51, "", kOffline, true},
        {"a_time_out_of_2_gives_up_after_101_steps", 2, kNever, "page", 101, "", kOffline, true},
        {"a_negative_time_out_waits_one_step_like_0", -5, kNever, "page", 1, "", kOffline, true},
        {"an_answer_there_at_once_takes_one_step", 1, 0, "page", 1, "page", kOnline, false},
        {"an_answer_at_the_51st_step_is_still_in_time", 1, 51, "page", 51, "page", kOnline, false},
        {"an_answer_without_page_is_online_with_empty_text", 1, 3, "", 3, "", kOnline, false},
        {"a_request_ended_without_answer_is_offline", 1, 3, std::nullopt, 3, "", kOffline, false},
        {"the_largest_time_out_is_counted", 42'949'672, 1, "page", 1, "page", kOnline, false},
        {"the_most_negative_time_out_is_counted", -42'949'672, 1, "page", 1, "page", kOnline, false},
        {"a_time_out_one_larger_overflows_after_the_first_step", 42'949'673, 1, "page", 1, "", kNoVerdict,
         false, true},
        {"a_time_out_one_more_negative_overflows_after_the_first_step", -42'949'673, 1, "page", 1, "",
         kNoVerdict, false, true},
    };
}

class FetchDevicePage : public testing::TestWithParam<FetchCase> {};

TEST_P(FetchDevicePage, WaitsGivesUpAndReportsByItsRules)
{
    const FetchCase& c = GetParam();
    CountingSleeper sleeper;
    ScriptedControl control(sleeper, c.answersAfterSteps, c.answer);
    LabelTrail window;
    PageFetcher fetcher(control, window, sleeper, c.timeoutSeconds);

    std::string page;
    if (c.overflows) {
        try {
            fetcher.FetchDevicePage("http://127.0.0.1:8/status.html");
            ADD_FAILURE() << "no Overflow";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.kind(), "Overflow");
        }
    } else {
        page = fetcher.FetchDevicePage("http://127.0.0.1:8/status.html");
    }

    EXPECT_EQ(control.executes, 1);
    EXPECT_EQ(sleeper.steps, c.steps);
    EXPECT_EQ(page, c.page);
    EXPECT_EQ(window.labels, c.labels);
    EXPECT_EQ(control.cancelledWhileRunning, c.lateCancelled ? 1 : 0);
    if (!c.overflows) {
        EXPECT_FALSE(control.running()) << "no request may outlive its fetch";
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, FetchDevicePage, testing::ValuesIn(FetchCases()),
                         [](const testing::TestParamInfo<FetchCase>& info) { return info.param.name; });

} // namespace
} // namespace vornix7
