#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <tuple>

#include "common/runtime_error.h"
#include "config/ini_file.h"
#include "platform/system.h"
#include "scratch_dir.h"

namespace vornix7 {
namespace {

auto Fields(const SettingsRecord& r)
{
    return std::tie(r.PollInterval, r.URL, r.StartMinimized, r.HTMLTimeout, r.UseLogFile, r.LogfileName,
                    r.LastSensor);
}

const SettingsRecord kDefaults{5, kDefaultUrl, 0, 1, 1, kDefaultLogfileName, 7};

// A fresh directory per test, so the settings file can be any bytes.
class SettingsFile : public testing::Test {
protected:
    std::string Write(const std::string& bytes) const
    {
        std::ofstream(dir_ + "/v7.ini", std::ios::binary | std::ios::trunc) << bytes;
        return dir_ + "/v7.ini";
    }
    const test::ScratchDir scratch_;
    const std::string dir_ = scratch_.path();
};

TEST_F(SettingsFile, ReadsEachSettingFromItsSectionAndTheRestAsDefaults)
{
    const struct {
        const char* name;
        std::string contents;
        SettingsRecord expected;
    } cases[] = {
        {"an empty file gives exactly the defaults", "", kDefaults},
        {"every setting given is read",
         "[Settings]\nPollInterval=9\nStartMinimized=1\nHTMLTimeout=3\nUseLogFile=0\nLastSensor=2\n"
         "[VORNIX7]\nURL=http://10.0.0.7/status\nLogfileName=/var/log/v7.csv\n",
         {9, "http://10.0.0.7/status", 1, 3, 0, "/var/log/v7.csv", 2}},
        {"an empty LastSensor gives 0, not 7",
         "[Settings]\nLastSensor=\n",
         {5, kDefaultUrl, 0, 1, 1, kDefaultLogfileName, 0}},
        {"an empty URL gives empty text", "[VORNIX7]\nURL=\n", {5, "", 0, 1, 1, kDefaultLogfileName, 7}},
        {"2.5 rounds down to even",
         "[Settings]\nPollInterval=2.5",
         {2, kDefaultUrl, 0, 1, 1, kDefaultLogfileName, 7}},
        {"3.5 rounds up to even",
         "[Settings]\nPollInterval=3.5",
         {4, kDefaultUrl, 0, 1, 1, kDefaultLogfileName, 7}},
        {"text that is no number gives 0",
         "[Settings]\nPollInterval=abc",
         {0, kDefaultUrl, 0, 1, 1, kDefaultLogfileName, 7}},
        {"numbers in the wrong section are not read", "[VORNIX7]\nPollInterval=9\n", kDefaults},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Fields(ReadSettings(IniFile::Load(Write(c.contents)))), Fields(c.expected));
    }
}

TEST(ExampleSettings, SetEveryKeyToTheValueItsCommentDescribes)
{
    const IniFile example = IniFile::Load(VORNIX7_EXAMPLE_INI);
    for (const SettingKey& setting : kSettingKeys) {
        EXPECT_NE(ReadIniValue(setting.section, setting.key, "(not set)", example), "(not set)")
            << setting.key;
    }
    const SettingsRecord expected{5, "http://192.168.1.100/", 0, 1, 1, "logfile.txt", 7};
    EXPECT_EQ(Fields(ReadSettings(example)), Fields(expected));
}

// The text as Windows Notepad saves it as "Unicode" (UTF-16 LE with its
// byte-order mark), or the same big-endian.
std::string Utf16(const std::string& ascii, bool littleEndian)
{
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : ascii) {
        bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return bytes;
}

TEST_F(SettingsFile, ReadsTheSameWhateverTheLineEndsOrTheEncoding)
{
    const SettingsRecord expected{9, "http://x/", 0, 1, 1, kDefaultLogfileName, 3};
    const struct {
        const char* name;
        std::function<std::string(const std::string&)> encode;
    } encodings[] = {
        {"8-bit",
         [](const std::string& text) {
             return text;
         }},
        {"UTF-8 with BOM",
         [](const std::string& text) {
             return "\xEF\xBB\xBF" + text;
         }},
        {"UTF-16 LE with BOM",
         [](const std::string& text) {
             return Utf16(text, true);
         }},
        {"UTF-16 BE with BOM",
         [](const std::string& text) {
             return Utf16(text, false);
         }},
    };
    for (const auto& encoding : encodings) {
        for (const std::string end : {"\n", "\r\n", "\r"}) {
            SCOPED_TRACE("line end of " + std::to_string(end.size()) + " bytes, " + encoding.name);
            std::string text;
            for (const char* line :
                 {"[Settings]", "PollInterval=9", "LastSensor=3", "[VORNIX7]", "URL=http://x/"}) {
                text.append(line).append(end);
            }
            EXPECT_EQ(Fields(ReadSettings(IniFile::Load(Write(encoding.encode(text))))), Fields(expected));
        }
    }
}

TEST_F(SettingsFile, ThrowsOverflowForANumberOutsideInt32)
{
    for (const char* value : {"1E10", "2147483648", "-3E9", "1E400"}) {
        SCOPED_TRACE(value);
        try {
            ReadSettings(IniFile::Load(Write(std::string("[Settings]\nHTMLTimeout=") + value)));
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.kind(), "Overflow");
        }
    }
}

TEST_F(SettingsFile, GivesTheDefaultsWhenThePathIsNoReadableFileAndSaysWhyWhenItExists)
{
    const struct {
        std::string path;
        std::optional<std::string> problem;
    } cases[] = {
        {dir_ + "/missing.ini", std::nullopt},
        {std::string(), std::nullopt},
        {dir_, "Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("path '" + c.path + "'");
        const IniFile file = IniFile::Load(c.path);
        EXPECT_EQ(Fields(ReadSettings(file)), Fields(kDefaults));
        EXPECT_EQ(ReadIniValue("Settings", "PollInterval", "dflt", file), "dflt");
        EXPECT_EQ(file.problem(), c.problem);
    }
    EXPECT_EQ(IniFile::Load(Write("[Settings]\n")).problem(), std::nullopt);
}

// The settings file beside a program whose folder's name the ANSI code page
// cannot hold (Ł and ź are not in 1252): found by the folder's own name,
// shown as text with '?' in their place. On Linux the same bytes both ways.
TEST_F(SettingsFile, IsReadFromAFolderWhoseNameTheCodePageCannotHold)
{
    const std::filesystem::path folder =
        std::filesystem::path(dir_) / std::filesystem::path(u8"Lab \u0141\u00F3d\u017A");
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "VORNIX7_Logger.ini", std::ios::binary) << "[Settings]\r\nPollInterval=9\r\n";

    const IniFile file = IniFile::LoadFromSystemPath(folder / "VORNIX7_Logger.ini");
    EXPECT_EQ(file.problem(), std::nullopt);
    EXPECT_EQ(ReadSettings(file).PollInterval, 9);
    const bool utf8 = SystemCodePageKind() == CodePageKind::kUtf8;
    EXPECT_EQ(CodePageFromPath(folder.filename()), utf8 ? "Lab \xC5\x81\xC3\xB3"
                                                          "d\xC5\xBA"
                                                        : "Lab ?\xF3"
                                                          "d?");
    // Only where the code page is UTF-8 does the text name the folder again.
    EXPECT_EQ(PathFromCodePage(CodePageFromPath(folder)) == folder, utf8);
}

TEST_F(SettingsFile, SurvivesBinaryJunkAndStillFindsASectionAfterIt)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string junk(4096, '\0');
        for (char& c : junk) {
            c = static_cast<char>(random());
        }
        ReadSettings(IniFile::Load(Write(junk))); // must not crash; defaults or junk
        const std::string path = Write(junk + "\n[Settings]\nPollInterval=9\n");
        EXPECT_EQ(ReadIniValue("settings", "pollinterval", "5", IniFile::Load(path)), "9");
    }
}

} // namespace
} // namespace vornix7
