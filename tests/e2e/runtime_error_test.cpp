// Settings and log paths that must end the program with status 1 and one
// message naming the error, without writing any line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "log_lines.h"
#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

using Clock = std::chrono::steady_clock;

enum class When { AtStartUp, AtTheFirstPoll };

struct ErrorCase {
    std::string name;
    LoggerSettings settings; // the URL is filled in
    When when;
    std::string message;  // the stderr line, after the program's name
    std::string mentions; // also in it
    // Of standard input, output and error, those it is started without.
    std::vector<int> closedAtStartUp = {};
};

using test::PrintTo;

LoggerSettings With(void (*change)(LoggerSettings&))
{
    LoggerSettings settings;
    change(settings);
    return settings;
}

class RuntimeErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(RuntimeErrors, EndTheProgramWithStatusOneAndOneMessage)
{
    const ErrorCase& c = GetParam();
    ScratchDir deviceDir;
    SimProcess device(deviceDir.path(), {});
    LoggerSettings settings = c.settings;
    settings.url = device.url();
    LoggerProcess logger(SettingsText(settings));
    std::filesystem::create_directory(logger.Path("a-directory"));
    ASSERT_EQ(::mkfifo(logger.Path("a-fifo").c_str(), 0600), 0);
    logger.Start({.args = {}, .noDisplay = false, .env = {}, .closedDescriptors = c.closedAtStartUp});

    const auto status = logger.WaitForExit(Scaled(Millis(5000)));
    const auto lived = std::chrono::duration_cast<Millis>(Clock::now() - logger.startedAt());

    ASSERT_EQ(status, ExitStatus::Code(1)) << logger.Stderr();
    const auto errors = logger.RuntimeErrors();
    ASSERT_EQ(errors.size(), 1U) << logger.Stderr();
    // Each program's line begins with its own name.
    EXPECT_TRUE(errors[0].starts_with(ProgramName() + ": " + c.message)) << errors[0];
    EXPECT_NE(errors[0].find(c.mentions), std::string::npos) << errors[0];
    if (c.when == When::AtStartUp) {
        EXPECT_EQ(device.Requests(), 0);
    } else {
        // The first tick comes a second after start-up.
        EXPECT_GE(lived, Millis(950));
    }
    EXPECT_FALSE(FileExists(logger.Path(kLogName)));
    EXPECT_FALSE(FileExists(logger.Path("missing")));
}

INSTANTIATE_TEST_SUITE_P(
    E2e, RuntimeErrors,
    testing::Values(ErrorCase{"a_sensor_above_16_is_out_of_range_at_the_first_poll",
                              With([](LoggerSettings& s) { s.lastSensor = "17"; }), When::AtTheFirstPoll,
                              "run-time error: Subscript out of range: ", ""},
                    ErrorCase{"a_log_in_a_missing_folder_is_a_path_not_found",
                              With([](LoggerSettings& s) { s.logfileName = "missing/log.txt"; }),
                              When::AtTheFirstPoll, "run-time error: Path not found: ", "missing/log.txt"},
                    ErrorCase{"a_log_path_that_is_a_folder_cannot_be_written",
                              With([](LoggerSettings& s) { s.logfileName = "a-directory"; }),
                              When::AtTheFirstPoll, "run-time error: ", "a-directory"},
                    ErrorCase{"a_log_path_that_is_a_fifo_nobody_reads_cannot_be_written_and_does_not_block",
                              With([](LoggerSettings& s) { s.logfileName = "a-fifo"; }), When::AtTheFirstPoll,
                              "run-time error: File I/O error: ", "a-fifo"},
                    ErrorCase{"a_poll_interval_beyond_32_bits_is_an_overflow_at_start_up",
                              With([](LoggerSettings& s) { s.pollInterval = "3000000000"; }), When::AtStartUp,
                              "run-time error: Overflow: ", ""},
                    ErrorCase{"a_time_out_too_large_to_count_in_waits_is_an_overflow_at_the_first_poll",
                              With([](LoggerSettings& s) { s.htmlTimeout = "100000000"; }),
                              When::AtTheFirstPoll, "run-time error: Overflow: ", ""},
                    // Its number would be libcurl's socket or Qt's pipe by then.
                    ErrorCase{"a_log_naming_standard_output_closed_at_start_up_cannot_be_opened",
                              With([](LoggerSettings& s) { s.logfileName = "/dev/stdout"; }),
                              When::AtTheFirstPoll,
                              "run-time error: File I/O error: ",
                              "'/dev/stdout': descriptor 1 was not open at start-up",
                              {1}},
                    ErrorCase{"a_log_naming_descriptor_1_closed_at_start_up_cannot_be_opened",
                              With([](LoggerSettings& s) { s.logfileName = "/dev/fd/1"; }),
                              When::AtTheFirstPoll,
                              "run-time error: File I/O error: ",
                              "/dev/fd/1",
                              {1}},
                    ErrorCase{"a_log_naming_standard_input_closed_at_start_up_cannot_be_opened",
                              With([](LoggerSettings& s) { s.logfileName = "/proc/self/fd/0"; }),
                              When::AtTheFirstPoll,
                              "run-time error: File I/O error: ",
                              "/proc/self/fd/0",
                              {0}}),
    test::CaseName());

} // namespace
} // namespace vornix7::e2e
