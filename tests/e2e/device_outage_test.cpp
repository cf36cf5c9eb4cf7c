// A device that fails for a while and comes back: the failed polls keep the
// last device name, and logging resumes by itself.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "log_lines.h"
#include "logger_process.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::string> kDevice = {"--name", "Lab North", "--values", "21.5,48,-3.25,1,2,3,4,5"};
const std::string kOk = OkLine("Lab North", {"21.5", "48.", "-3.25", "1.", "2.", "3.", "4.", "5."});
const std::string kFailedKeepingName = ErrorLine("Lab North", 8);

TEST(DeviceOutage, ADeviceThatGoesAwayGivesErrorLinesWithItsNameAndOkLinesOnceItIsBack)
{
    ScratchDir deviceDir;
    std::optional<SimProcess> device;
    device.emplace(deviceDir.path(), kDevice);
    const int port = device->port();
    LoggerProcess logger(SettingsText({.url = device->url()}));
    logger.Start();

    ASSERT_TRUE(logger.WaitForLines(1, Scaled(Millis(5000)))) << logger.Stderr();
    device->Stop();
    ASSERT_TRUE(logger.WaitForLines(3, Scaled(Millis(5000)))) << logger.Stderr();
    // The same port again; it may take a moment to be free.
    const auto deadline = Clock::now() + Millis(3000);
    for (device.reset(); !device && Clock::now() < deadline;) {
        try {
            device.emplace(deviceDir.path(), kDevice, port, "sim-again");
        } catch (const std::runtime_error&) {
            std::this_thread::sleep_for(Millis(50));
        }
    }
    ASSERT_TRUE(device.has_value()) << "the device could not listen on port " << port << " again";
    ASSERT_TRUE(logger.WaitForLines(4, Scaled(Millis(5000)))) << logger.Stderr();
    ASSERT_EQ(logger.Stop(), ExitStatus::Code(0));

    EXPECT_EQ(logger.Lines(), (std::vector<std::string>{kOk, kFailedKeepingName, kFailedKeepingName, kOk}));
}

// With UseLogFile=0 a working device leaves no trace, but every failed poll
// is still logged, with the name of the device from the unlogged polls.
TEST(DeviceOutage, WithoutLoggingOfGoodPollsOnlyTheFailedOnesAreLogged)
{
    ScratchDir deviceDir;
    SimProcess device(deviceDir.path(), kDevice);
    LoggerProcess logger(SettingsText({.url = device.url(), .useLogFile = "0"}));
    logger.Start();

    const auto waitForRequests = [&](int count) {
        device.WaitForRequests(count, Scaled(Millis(5000)) * count);
        // Let the answer to that request go through before changing modes.
        std::this_thread::sleep_for(Millis(300));
        return device.Requests() >= count;
    };
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_FALSE(FileExists(logger.Path(kLogName)));
    device.SetMode("close");
    ASSERT_TRUE(logger.WaitForLines(1, Scaled(Millis(5000)))) << logger.Stderr();
    device.SetMode("normal");
    ASSERT_TRUE(waitForRequests(device.Requests() + 2));
    ASSERT_EQ(logger.Stop(), ExitStatus::Code(0));

    EXPECT_EQ(logger.Lines(), std::vector<std::string>{kFailedKeepingName});
}

} // namespace
} // namespace vornix7::e2e
