// Settings files that are not what they should be never crash the program.
// Every file written here points its URL at 127.0.0.1; where the program
// falls back on the defaults (a device on the local network), it is ended
// within 2 s, long before its first poll 5 s after start-up.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
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

// Random bytes of every value except '=', so no key can be set by them:
// only the settings written before them count.
std::string Junk(std::size_t size)
{
    std::mt19937 random(7);
    std::string junk(size, '\0');
    for (char& c : junk) {
        do {
            c = static_cast<char>(random() & 0xFF);
        } while (c == '=');
    }
    return junk;
}

struct SettingsCase {
    std::string name;
    // Puts the settings file (or what stands in for it) at `path`.
    std::function<void(const std::string& path, const std::string& settings)> make;
    // True: the file is read and the device's line logged; false: the
    // program runs on the defaults.
    bool read;
};

using test::PrintTo;

class OddSettingsFile : public testing::TestWithParam<SettingsCase> {};

TEST_P(OddSettingsFile, NeverCrashesTheProgram)
{
    const SettingsCase& c = GetParam();
    ScratchDir deviceDir;
    SimProcess device(deviceDir.path(), {"--name", "Lab North", "--values", "21.5,48,-3.25,1,2,3,4,5"});
    LoggerProcess logger(std::nullopt);
    c.make(logger.Path(kSettingsName), SettingsText({.url = device.url()}));
    logger.Start();

    if (c.read) {
        // Not a moment longer: a program that failed to read the file polls
        // the default address 5 s after start-up.
        const auto safe = logger.startedAt() + Millis(4000) - Clock::now();
        ASSERT_TRUE(logger.WaitForLines(1, std::chrono::duration_cast<Millis>(safe))) << logger.Stderr();
        ASSERT_EQ(logger.Stop(), ExitStatus::Code(0));
        EXPECT_EQ(logger.Lines(), std::vector<std::string>{kOk});
        return;
    }
    ASSERT_TRUE(logger.WaitUntilSignalsHandled(Millis(1500))) << logger.Stderr();
    std::this_thread::sleep_until(logger.startedAt() + Millis(1200));
    ASSERT_TRUE(logger.process().Running()) << logger.Stderr();
    const auto status = logger.Stop(SIGTERM, Millis(300));
    const auto lived = std::chrono::duration_cast<Millis>(Clock::now() - logger.startedAt());
    logger.process().Kill();

    EXPECT_EQ(status, ExitStatus::Code(0)) << logger.Stderr();
    EXPECT_LT(lived, Millis(2000));
    EXPECT_EQ(device.Requests(), 0);
    EXPECT_FALSE(FileExists(logger.Path("logfile.txt")));
    EXPECT_EQ(logger.RuntimeErrors(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(E2e, OddSettingsFile,
                         testing::Values(
                             // Root reads it all the same; anyone else gets the defaults.
                             SettingsCase{"a_file_without_read_permission",
                                          [](const std::string& path, const std::string& settings) {
                                              WriteFile(path, settings);
                                              ::chmod(path.c_str(), 0);
                                          },
                                          ::geteuid() == 0},
                             SettingsCase{"a_folder_in_place_of_the_file",
                                          [](const std::string& path, const std::string&) {
                                              std::filesystem::create_directory(path);
                                          },
                                          false},
                             SettingsCase{"binary_junk_after_the_settings",
                                          [](const std::string& path, const std::string& settings) {
                                              WriteFile(path, settings + Junk(std::size_t{64} * 1024));
                                          },
                                          true},
                             SettingsCase{"an_8_MB_file",
                                          [](const std::string& path, const std::string& settings) {
                                              WriteFile(path, settings + Junk(std::size_t{8} << 20));
                                          },
                                          true},
                             // Junk that may well hold "=" after a harmless URL: whatever the
                             // junk sets, the program is ended before it could poll.
                             SettingsCase{"nothing_but_binary_junk_after_a_harmless_url",
                                          [](const std::string& path, const std::string&) {
                                              std::string junk = Junk(std::size_t{64} * 1024);
                                              std::replace(junk.begin(), junk.end(), '\x01', '=');
                                              WriteFile(path, kHarmlessUrlHeader + junk);
                                          },
                                          false}),
                         test::CaseName());

} // namespace
} // namespace vornix7::e2e
