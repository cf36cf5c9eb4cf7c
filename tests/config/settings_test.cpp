#include "config/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "common/runtime_error.h"
#include "config/ini_file.h"

namespace vornix7 {
namespace {

// A fresh directory per test, so the settings file can be any bytes.
class SettingsFile : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "vornix7_settings_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& bytes) const
    {
        const std::string path = dir_ + "/VORNIX7_Logger.ini";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    std::string dir_;
};

SettingsRecord Defaults()
{
    return {5, "http://192.168.1.100/", 0, 1, 1, "logfile.txt", 7};
}

void ExpectSame(const SettingsRecord& actual, const SettingsRecord& expected)
{
    EXPECT_EQ(actual.PollInterval, expected.PollInterval);
    EXPECT_EQ(actual.URL, expected.URL);
    EXPECT_EQ(actual.StartMinimized, expected.StartMinimized);
    EXPECT_EQ(actual.HTMLTimeout, expected.HTMLTimeout);
    EXPECT_EQ(actual.UseLogFile, expected.UseLogFile);
    EXPECT_EQ(actual.LogfileName, expected.LogfileName);
    EXPECT_EQ(actual.LastSensor, expected.LastSensor);
}

TEST_F(SettingsFile, ReadsEachSettingFromItsSectionAndTheRestAsDefaults)
{
    struct Case {
        const char* name;
        std::string contents;
        SettingsRecord expected;
    };
    const auto with = [](auto change) { SettingsRecord r = Defaults(); change(r); return r; };
    const Case cases[] = {
        {"an empty file gives exactly the defaults", "", Defaults()},
        {"every setting given is read",
         "[Settings]\nPollInterval=9\nStartMinimized=1\nHTMLTimeout=3\nUseLogFile=0\nLastSensor=2\n"
         "[VORNIX7]\nURL=http://10.0.0.7/status\nLogfileName=/var/log/v7.csv\n",
         {9, "http://10.0.0.7/status", 1, 3, 0, "/var/log/v7.csv", 2}},
        {"an empty LastSensor gives 0, not 7", "[Settings]\nLastSensor=\n", with([](auto& r) { r.LastSensor = 0; })},
        {"an empty URL gives empty text", "[VORNIX7]\nURL=\n", with([](auto& r) { r.URL = ""; })},
        {"2.5 rounds down to even", "[Settings]\nPollInterval=2.5\n", with([](auto& r) { r.PollInterval = 2; })},
        {"3.5 rounds up to even", "[Settings]\nPollInterval=3.5\n", with([](auto& r) { r.PollInterval = 4; })},
        {"text that is no number gives 0", "[Settings]\nPollInterval=abc\n", with([](auto& r) { r.PollInterval = 0; })},
        {"a negative number is kept", "[Settings]\nUseLogFile=-1\n", with([](auto& r) { r.UseLogFile = -1; })},
        {"numbers in the wrong section are not read", "[VORNIX7]\nPollInterval=9\n", Defaults()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSame(ReadSettings(Write(c.contents)), c.expected);
    }
}

TEST_F(SettingsFile, ReadsTheSameWhateverTheLineEndsOrAByteOrderMark)
{
    const std::string lines[] = {"[Settings]", "PollInterval=9", "LastSensor=3", "[VORNIX7]", "URL=http://x/"};
    const SettingsRecord expected{9, "http://x/", 0, 1, 1, "logfile.txt", 3};
    for (const std::string prefix : {"", "\xEF\xBB\xBF"}) {
        for (const std::string end : {"\n", "\r\n", "\r"}) {
            SCOPED_TRACE("line end " + std::to_string(end.size()) + " bytes, BOM " + std::to_string(prefix.size()));
            std::string contents = prefix;
            for (const std::string& line : lines) {
                contents += line + end;
            }
            ExpectSame(ReadSettings(Write(contents)), expected);
        }
    }
}

TEST_F(SettingsFile, ThrowsOverflowForANumberOutsideInt32)
{
    for (const char* value : {"1E10", "2147483648", "-3E9", "1E400"}) {
        SCOPED_TRACE(value);
        const std::string path = Write(std::string("[Settings]\nHTMLTimeout=") + value + "\n");
        try {
            ReadSettings(path);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.kind(), "Overflow");
        }
    }
}

TEST_F(SettingsFile, GivesTheDefaultsWhenThePathIsNoReadableFile)
{
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"a missing file", dir_ + "/missing.ini"},
        {"a directory", dir_},
        {"an empty path", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectSame(ReadSettings(c.path), Defaults());
        EXPECT_EQ(ReadIniValue("Settings", "PollInterval", "dflt", c.path), "dflt");
    }
}

TEST_F(SettingsFile, SurvivesBinaryJunkAndStillFindsASectionAfterIt)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string junk(4096, '\0');
        for (char& c : junk) {
            c = static_cast<char>(random() % 256);
        }
        ReadSettings(Write(junk)); // must not crash; defaults or junk
        const std::string path = Write(junk + "\n[Settings]\nPollInterval=9\n");
        EXPECT_EQ(ReadIniValue("settings", "pollinterval", "5", path), "9");
    }
}

} // namespace
} // namespace vornix7
