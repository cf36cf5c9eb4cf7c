// The windowless shell as a service manager sees it: one status line per
// change of the device's state, ticks one interval after the last one
// ended, and SIGTERM, SIGINT and SIGHUP ending the program at once with
// status 0 (SIGHUP not when it was ignored at start, as under nohup).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "log/log_with_side_file.h"
#include "named_case.h"
#include "shell/headless/headless_window.h"

namespace vornix7 {
namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

struct StatusCase {
    std::string name;
    std::vector<std::string> shown;
    std::string lines;
};

using test::PrintTo;

class StatusLines : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusLines, AreWrittenOnlyWhenTheDevicesStateChanges)
{
    std::string out;
    HeadlessWindow window(
        1000, [](int) {}, [&](const std::string& line) { out += line; });
    for (const auto& text : GetParam().shown) {
        window.SetStatus(text);
    }
    EXPECT_EQ(out, GetParam().lines);
}

// Standard error as a pipe that nobody empties (a stuck journal, a
// reader that stopped): the status line is dropped, the poll goes on.
TEST(StatusLinesToAFullPipe, AreDroppedWithoutHoldingUpThePoll)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::fcntl(fds[1], F_SETFL, O_NONBLOCK), 0);
    const std::string block(4096, 'x');
    while (::write(fds[1], block.data(), block.size()) > 0) {
    }
    ASSERT_EQ(::fcntl(fds[1], F_SETFL, 0), 0); // blocking again, as a service's would be
    const int savedStderr = ::dup(STDERR_FILENO);
    ASSERT_GE(savedStderr, 0);
    ::dup2(fds[1], STDERR_FILENO);

    HeadlessWindow window(1000, [](int) {});
    const auto start = Clock::now();
    window.SetStatus("ONLINE");
    window.SetStatus("OFFLINE");
    const auto took = Clock::now() - start;

    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_LT(took, Millis(100));
}

INSTANTIATE_TEST_SUITE_P(
    Headless, StatusLines,
    testing::Values(
        StatusCase{"the_start_and_a_fetch_under_way_say_nothing", {"", "Downloading..."}, ""},
        StatusCase{"a_first_good_poll_says_ONLINE", {"", "Downloading...", "ONLINE"}, "ONLINE\n"},
        StatusCase{"a_first_failed_poll_says_OFFLINE", {"", "Downloading...", "OFFLINE"}, "OFFLINE\n"},
        StatusCase{"good_polls_in_a_row_say_ONLINE_once",
                   {"Downloading...", "ONLINE", "Downloading...", "ONLINE", "Downloading...", "ONLINE"},
                   "ONLINE\n"},
        StatusCase{"each_change_says_the_new_state_once",
                   {"Downloading...", "ONLINE", "Downloading...", "OFFLINE", "Downloading...", "OFFLINE",
                    "Downloading...", "ONLINE"},
                   "ONLINE\nOFFLINE\nONLINE\n"}),
    test::CaseName());

// The log's notices on standard error: a line when a busy spell starts and
// one when its lines are in, none for the counts between; lines set aside
// get a line of their own, also right after a busy spell.
TEST(LogNoticeLines, SayEachChangeOfKindOnce)
{
    const std::string busy1 = LogWithSideFile::NoticeText(1, "log.txt.waiting");
    const std::string busy3 = LogWithSideFile::NoticeText(3, "log.txt.waiting");
    const std::string setAside = LogWithSideFile::SetAsideText(2, "log.txt.waiting");
    const std::string inAgain =
        "vornix7-logger-headless: the log file can be written again; the waiting lines are in it\n";
    const struct {
        const char* name;
        std::vector<std::string> shown;
        std::string lines;
    } cases[] = {
        {"a busy spell", {busy1, busy3, ""}, "vornix7-logger-headless: " + busy1 + "\n" + inAgain},
        {"a busy spell whose move set lines aside",
         {busy1, busy3, setAside},
         "vornix7-logger-headless: " + busy1 + "\nvornix7-logger-headless: " + setAside + "\n"},
        {"lines set aside, then a busy spell",
         {setAside, busy1, ""},
         "vornix7-logger-headless: " + setAside + "\nvornix7-logger-headless: " + busy1 + "\n" + inAgain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        HeadlessWindow window(
            1000, [](int) {}, [&](const std::string& line) { out += line; });
        for (const auto& text : c.shown) {
            window.ShowLogNotice(text);
        }
        EXPECT_EQ(out, c.lines);
    }
}

// Timer1 is stopped for the whole tick: a tick that takes 60 ms of a 20 ms
// interval delays the next one, and ticks never overlap.
TEST(HeadlessTimer, TheNextTickComesOneIntervalAfterTheLastOneEnded)
{
    std::optional<int> status;
    HeadlessWindow window(20, [&](int s) { status = s; });
    std::vector<Clock::time_point> starts, ends;
    bool inside = false;
    window.SetTickHook([&] {
        EXPECT_FALSE(inside);
        inside = true;
        starts.push_back(Clock::now());
        std::this_thread::sleep_for(Millis(60));
        ends.push_back(Clock::now());
        inside = false;
        if (starts.size() == 4) {
            window.EndProgram(0);
        }
    });
    const auto started = Clock::now();
    window.StartTimer1();
    window.Run();

    ASSERT_EQ(starts.size(), 4U);
    EXPECT_EQ(status, 0);
    EXPECT_GE(starts[0] - started, Millis(20));
    for (std::size_t i = 1; i < starts.size(); ++i) {
        EXPECT_GE(starts[i] - ends[i - 1], Millis(20)) << "tick " << i;
        EXPECT_LT(starts[i] - ends[i - 1], Millis(500)) << "tick " << i;
    }
}

struct SignalCase {
    std::string name;
    int signal;
    bool ignoredAtStart;
    bool ends;
};

// Restores a signal's disposition when the test is done.
class DispositionKept {
public:
    explicit DispositionKept(int signal) : signal_(signal) { ::sigaction(signal, nullptr, &old_); }
    ~DispositionKept() { ::sigaction(signal_, &old_, nullptr); }
    DispositionKept(const DispositionKept&) = delete;
    DispositionKept& operator=(const DispositionKept&) = delete;

private:
    int signal_;
    struct sigaction old_ {};
};

class EndSignal : public testing::TestWithParam<SignalCase> {};

// In the event pump, as in each 20 ms step of a fetch or a wait for the log.
TEST_P(EndSignal, InTheEventPumpEndsTheProgramWithStatusZero)
{
    const SignalCase& c = GetParam();
    const DispositionKept kept(c.signal);
    if (c.ignoredAtStart) {
        ::signal(c.signal, SIG_IGN);
    }
    std::optional<int> status;
    HeadlessWindow window(1000, [&](int s) { status = s; });
    window.WatchEndSignals();
    window.PumpEvents();
    ASSERT_FALSE(status.has_value());

    ASSERT_EQ(::kill(::getpid(), c.signal), 0);
    window.PumpEvents();

    EXPECT_EQ(status.has_value(), c.ends);
    if (c.ends) {
        EXPECT_EQ(*status, 0);
    }
}

// In the wait between ticks, which is the loop's sleep: at once, not at
// the next tick.
TEST_P(EndSignal, WhileWaitingForTheTickEndsTheProgramAtOnce)
{
    const SignalCase& c = GetParam();
    const DispositionKept kept(c.signal);
    if (c.ignoredAtStart) {
        ::signal(c.signal, SIG_IGN);
    }
    std::optional<int> status;
    int ticks = 0;
    HeadlessWindow window(c.ends ? 10000 : 300, [&](int s) { status = s; });
    window.WatchEndSignals();
    window.SetTickHook([&] {
        ++ticks;
        window.EndProgram(7); // only reached when the signal did not end it
    });
    window.StartTimer1();
    Clock::time_point sent;
    std::thread sender([&] {
        std::this_thread::sleep_for(Millis(50));
        sent = Clock::now();
        ::kill(::getpid(), c.signal);
    });
    window.Run();
    const auto ended = Clock::now();
    sender.join(); // after this, `sent` is safe to read
    const auto took = ended - sent;

    if (c.ends) {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ticks, 0);
        EXPECT_LT(took, Millis(200));
    } else {
        EXPECT_EQ(status, 7);
        EXPECT_EQ(ticks, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Headless, EndSignal,
                         testing::Values(SignalCase{"SIGTERM_from_the_service_manager", SIGTERM, false, true},
                                         SignalCase{"SIGINT_from_Ctrl_C", SIGINT, false, true},
                                         SignalCase{"SIGHUP_from_a_closed_terminal", SIGHUP, false, true},
                                         SignalCase{"SIGHUP_under_nohup_is_still_ignored", SIGHUP, true,
                                                    false}),
                         test::CaseName());

} // namespace
} // namespace vornix7
