// A device slower than HTMLTimeout: the poll is given up after the
// configured time (50 waits of 20 ms per second, plus one), not earlier and
// not much later, measured from the moment the request reaches the device
// to the moment the ERROR line is in the log.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "log_lines.h"
#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

using Clock = std::chrono::steady_clock;

struct GiveUpCase {
    std::string name;
    int timeoutSeconds;
};

using test::PrintTo;

class GiveUp : public testing::TestWithParam<GiveUpCase> {};

TEST_P(GiveUp, ADeviceSlowerThanTheTimeOutIsGivenUpAfterItWithAnErrorLine)
{
    const int seconds = GetParam().timeoutSeconds;
    ScratchDir deviceDir;
    SimProcess device(deviceDir.path(), {"--mode", "delay", "--delay-ms", "10000"});
    LoggerProcess logger(SettingsText({.url = device.url(), .htmlTimeout = std::to_string(seconds)}));
    logger.Start();

    device.WaitForRequests(1, Scaled(Millis(5000)));
    const auto requested = Clock::now();
    ASSERT_EQ(device.Requests(), 1);
    ASSERT_TRUE(logger.WaitForLines(1, Millis(seconds * 1000) + Scaled(Millis(2000)))) << logger.Stderr();
    const auto waited = std::chrono::duration_cast<Millis>(Clock::now() - requested);
    RecordProperty("waited_ms", static_cast<int>(waited.count()));
    ASSERT_EQ(logger.Stop(), ExitStatus::Code(0));

    EXPECT_EQ(logger.Lines(), std::vector<std::string>{ErrorLine("", 8)});
    EXPECT_GE(waited, Millis(seconds * 1000 - 30));
    EXPECT_LE(waited, Millis(seconds * 1000 + 20) + Scaled(Millis(150)));
}

INSTANTIATE_TEST_SUITE_P(E2e, GiveUp,
                         testing::Values(GiveUpCase{"a_one_second_time_out", 1},
                                         GiveUpCase{"a_two_second_time_out", 2}),
                         test::CaseName());

} // namespace
} // namespace vornix7::e2e
