// Ending the real program from outside: a signal in the middle of a poll
// ends it at once with status 0 and no line for that poll; without any
// settings file it starts on the defaults and still ends cleanly.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "log_lines.h"
#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

using Clock = std::chrono::steady_clock;

struct SignalCase {
    std::string name;
    int signal;
};

using test::PrintTo;

class SignalDuringPoll : public testing::TestWithParam<SignalCase> {};

TEST_P(SignalDuringPoll, EndsTheProgramAtOnceWithoutALineForThatPoll)
{
    ScratchDir deviceDir;
    SimProcess device(deviceDir.path(), {"--mode", "silent"});
    // A long time-out, so the poll is surely still waiting when the signal
    // comes.
    LoggerProcess logger(SettingsText({.url = device.url(), .htmlTimeout = "30"}));
    logger.Start();
    device.WaitForRequests(1, Scaled(Millis(5000)));
    ASSERT_EQ(device.Requests(), 1);
    std::this_thread::sleep_for(Millis(200));

    const auto signalled = Clock::now();
    const auto status = logger.Stop(GetParam().signal, Scaled(Millis(2000)));
    const auto took = std::chrono::duration_cast<Millis>(Clock::now() - signalled);

    ASSERT_EQ(status, ExitStatus::Code(0));
    EXPECT_LE(took, Scaled(Millis(100)));
    EXPECT_FALSE(FileExists(logger.Path(kLogName)));
    EXPECT_EQ(logger.RuntimeErrors(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(E2e, SignalDuringPoll,
                         testing::Values(SignalCase{"SIGTERM", SIGTERM}, SignalCase{"SIGINT", SIGINT},
                                         SignalCase{"SIGHUP", SIGHUP}),
                         test::CaseName());

// The default URL is a device on the local network, which a test machine
// must never poll. The first poll comes 5 ticks (about 5 s) after start-up,
// so the program is ended well before 2 s; the RAII kill stands behind that.
TEST(NoSettingsFile, TheProgramStartsOnTheDefaultsAndEndsCleanlyBeforeItsFirstPoll)
{
    LoggerProcess logger(std::nullopt);
    logger.Start();
    ASSERT_TRUE(logger.WaitUntilSignalsHandled(Millis(1500))) << logger.Stderr();
    // Still running a little later: nothing in the start-up failed.
    std::this_thread::sleep_for(Millis(200));
    ASSERT_TRUE(logger.process().Running()) << logger.Stderr();

    const auto status = logger.Stop(SIGTERM, Millis(300));
    const auto lived = std::chrono::duration_cast<Millis>(Clock::now() - logger.startedAt());
    logger.process().Kill();

    EXPECT_EQ(status, ExitStatus::Code(0));
    EXPECT_LT(lived, Millis(2000));
    // The default log name; no poll, so no line.
    EXPECT_FALSE(FileExists(logger.Path("logfile.txt")));
    EXPECT_EQ(logger.RuntimeErrors(), std::vector<std::string>{});
}

} // namespace
} // namespace vornix7::e2e
