// A working device, polled by the real program: one exact line and one GET
// per poll, at the poll's local time; the same with a display-less start,
// where the program chooses to run without a window by itself.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "log_lines.h"
#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

constexpr const char* kNoDisplayNotice = "VORNIX7_Logger: no display found; running without a window\n";

struct DisplayCase {
    std::string name;
    bool noDisplay;
    // Of standard input, output and error, those it is started without:
    // each must be /dev/null while it runs, so that nothing the program
    // opens takes the number and gets a status line or a log line.
    std::vector<int> closedAtStartUp = {};
};

using test::PrintTo;

class Polling : public testing::TestWithParam<DisplayCase> {};

TEST_P(Polling, AWorkingDeviceGivesOneExactOkLineAndOneRequestPerPoll)
{
    ScratchDir deviceDir;
    SimProcess device(deviceDir.path(),
                      {"--name", R"(Lab, "North")", "--values", "21.5,48,-3.25,2.675,-0.001,1E400,7,0.125"});
    LoggerProcess logger(SettingsText({.url = device.url()}));
    const std::time_t before = std::time(nullptr);
    logger.Start({.args = {},
                  .noDisplay = GetParam().noDisplay,
                  .env = {},
                  .closedDescriptors = GetParam().closedAtStartUp});

    ASSERT_TRUE(logger.WaitForLines(3, Scaled(Millis(8000)))) << logger.Stderr();
    for (const int fd : GetParam().closedAtStartUp) {
        const std::string link =
            "/proc/" + std::to_string(logger.process().pid()) + "/fd/" + std::to_string(fd);
        std::error_code error;
        EXPECT_EQ(std::filesystem::read_symlink(link, error), "/dev/null") << link << ": " << error.message();
    }
    ASSERT_EQ(logger.Stop(), ExitStatus::Code(0));
    const std::time_t after = std::time(nullptr);

    EXPECT_EQ(logger.Lines(), Times(3, OkLine(R"("Lab, ""North""")",
                                              {"21.5", "48.", "-3.25", "2.68", "0.", "inf", "7.", "0.13"})));
    EXPECT_EQ(device.Requests(), 3);
    for (const auto& line : SplitLines(logger.Read())) {
        const auto stamp = LineTime(line);
        ASSERT_TRUE(stamp.has_value()) << line;
        EXPECT_GE(*stamp, before) << line;
        EXPECT_LE(*stamp, after) << line;
    }
    EXPECT_EQ(logger.RuntimeErrors(), std::vector<std::string>{});
    EXPECT_EQ(logger.Stderr().find(kNoDisplayNotice) != std::string::npos, GetParam().noDisplay)
        << logger.Stderr();
}

INSTANTIATE_TEST_SUITE_P(E2e, Polling,
                         testing::Values(DisplayCase{"OffscreenChosen", false},
                                         DisplayCase{"NoDisplay", true},
                                         DisplayCase{"StandardStreamsClosedAtStartUp", false, {0, 1, 2}}),
                         test::CaseName());

} // namespace
} // namespace vornix7::e2e
