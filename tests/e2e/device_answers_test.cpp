// Every way the device can answer, or fail to, and the exact line each poll
// then gives. Each case runs two polls, so "every poll" is seen, and counts
// the device's requests: exactly one GET per poll, whatever the answer.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "log_lines.h"
#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

const std::vector<std::string> kDevice = {"--name", "Lab North", "--values", "21.5,48,-3.25,1,2,3,4,5"};
const std::string kReadings = OkLine("Lab North", {"21.5", "48.", "-3.25", "1.", "2.", "3.", "4.", "5."});
// No earlier poll succeeded, so there is no device name to keep.
const std::string kFailed = ErrorLine("", 8);

struct DeviceCase {
    std::string name;
    // Added to kDevice; empty: nothing listens on the port at all.
    std::vector<std::string> mode;
    std::string expected;
};

using test::PrintTo;

class DeviceAnswers : public testing::TestWithParam<DeviceCase> {};

TEST_P(DeviceAnswers, EachPollGivesTheLineItsAnswerCallsFor)
{
    const DeviceCase& c = GetParam();
    ScratchDir deviceDir;
    std::vector<std::string> args;
    if (!c.mode.empty()) {
        args = kDevice;
        args.insert(args.end(), c.mode.begin(), c.mode.end());
    }
    const DeviceOrNobody device(deviceDir.path(), args);
    LoggerProcess logger(SettingsText({.url = device.url(), .htmlTimeout = "1"}));
    logger.Start();

    // Two polls, each at most 1 s after the last one ended plus a give-up of
    // about 1 s.
    ASSERT_TRUE(logger.WaitForLines(2, Scaled(Millis(8000)))) << logger.Stderr();
    ASSERT_EQ(logger.Stop(), ExitStatus::Code(0));

    EXPECT_EQ(logger.Lines(), Times(2, c.expected));
    if (device.device()) {
        EXPECT_EQ(device.device()->Requests(), 2);
    }
    EXPECT_EQ(logger.RuntimeErrors(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    E2e, DeviceAnswers,
    testing::Values(
        DeviceCase{"a_working_device_gives_its_readings", {"--mode", "normal"}, kReadings},
        DeviceCase{"a_chunked_answer_gives_the_readings_it_carries", {"--mode", "chunked"}, kReadings},
        DeviceCase{"a_device_slower_than_usual_but_within_the_time_out_gives_its_readings",
                   {"--mode", "delay", "--delay-ms", "400"},
                   kReadings},
        DeviceCase{"a_page_padded_to_100_kB_gives_its_readings",
                   {"--mode", "size", "--body-bytes", "100000"},
                   kReadings},
        // An error status carries an error page, never readings.
        DeviceCase{"an_HTTP_500_with_a_body_is_a_failed_poll", {"--mode", "status"}, kFailed},
        DeviceCase{
            "an_HTTP_404_with_a_body_is_a_failed_poll", {"--mode", "status", "--status", "404"}, kFailed},
        DeviceCase{"a_redirect_is_not_followed_and_is_a_failed_poll", {"--mode", "redirect"}, kFailed},
        DeviceCase{"an_empty_page_is_a_failed_poll", {"--mode", "empty"}, kFailed},
        DeviceCase{"a_reset_in_the_middle_of_the_body_is_a_failed_poll", {"--mode", "reset"}, kFailed},
        DeviceCase{"a_body_trickling_past_the_time_out_is_a_failed_poll", {"--mode", "trickle"}, kFailed},
        DeviceCase{"a_device_slower_than_the_time_out_is_a_failed_poll",
                   {"--mode", "delay", "--delay-ms", "3000"},
                   kFailed},
        DeviceCase{"a_device_that_accepts_and_never_answers_is_a_failed_poll", {"--mode", "silent"}, kFailed},
        DeviceCase{"a_device_that_closes_without_answering_is_a_failed_poll", {"--mode", "close"}, kFailed},
        DeviceCase{"a_refused_connection_is_a_failed_poll", {}, kFailed}),
    test::CaseName());

} // namespace
} // namespace vornix7::e2e
