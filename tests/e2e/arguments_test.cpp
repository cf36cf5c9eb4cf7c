// The program's arguments, answered at once without a display, the network
// or a file written: --help names the settings file beside the program and
// the log; --version the version; anything else is refused with status 2.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "logger_process.h"
#include "named_case.h"
#include "settings_file.h"
#include "sim_process.h"

namespace vornix7::e2e {
namespace {

struct ArgumentCase {
    std::string name;
    std::vector<std::string> args;
    int status;
    // Texts expected on standard output / error; "@" stands for the folder,
    // "%" for the program's name.
    std::vector<std::string> out;
    std::vector<std::string> err;
};

using test::PrintTo;

std::set<std::string> Entries(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string Filled(std::string text, const std::string& dir)
{
    if (const auto at = text.find('@'); at != std::string::npos) {
        text.replace(at, 1, dir);
    }
    if (const auto at = text.find('%'); at != std::string::npos) {
        text.replace(at, 1, ProgramName());
    }
    return text;
}

class Arguments : public testing::TestWithParam<ArgumentCase> {};

TEST_P(Arguments, AreAnsweredAtOnceWithoutADisplayAndCreateNothing)
{
    const ArgumentCase& c = GetParam();
    ScratchDir deviceDir;
    SimProcess device(deviceDir.path(), {});
    LoggerProcess logger(SettingsText({.url = device.url(), .logfileName = "lab.csv"}));
    std::set<std::string> expected = Entries(logger.dir().path());
    expected.insert({"logger.out", "logger.err"}); // the test's own redirections

    logger.Start({.args = c.args, .noDisplay = true, .env = {}});
    ASSERT_EQ(logger.WaitForExit(Scaled(Millis(3000))), ExitStatus::Code(c.status)) << logger.Stderr();

    const std::string dir = std::filesystem::canonical(logger.dir().path()).string();
    for (const auto& text : c.out) {
        EXPECT_NE(logger.Read("logger.out").find(Filled(text, dir)), std::string::npos)
            << logger.Read("logger.out");
    }
    for (const auto& text : c.err) {
        EXPECT_NE(logger.Stderr().find(Filled(text, dir)), std::string::npos) << logger.Stderr();
    }
    EXPECT_EQ(c.status == 0, logger.Stderr().empty()) << logger.Stderr();
    EXPECT_EQ(Entries(logger.dir().path()), expected);
    EXPECT_EQ(device.Requests(), 0);
}

const std::string kUsage = "usage: % [--help | --version]\n";

INSTANTIATE_TEST_SUITE_P(
    E2e, Arguments,
    testing::Values(ArgumentCase{"Help",
                                 {"--help"},
                                 0,
                                 {"% " VORNIX7_VERSION ": polls", "Settings: @/VORNIX7_Logger.ini\n",
                                  "Log file: @/lab.csv\n"},
                                 {}},
                    ArgumentCase{"Version", {"--version"}, 0, {"% " VORNIX7_VERSION "\n"}, {}},
                    ArgumentCase{"Unknown", {"--verbose"}, 2, {}, {"\"--verbose\"; " + kUsage}},
                    ArgumentCase{"QtPlatformOption", {"-platform", "xcb"}, 2, {}, {kUsage}},
                    ArgumentCase{"HelpWithMore", {"--help", "now"}, 2, {}, {kUsage}}),
    test::CaseName());

} // namespace
} // namespace vornix7::e2e
