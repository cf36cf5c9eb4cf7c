#include "tools/check/check_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/system.h"
#include "scratch_dir.h"

namespace vornix7 {
namespace {

namespace fs = std::filesystem;

class CheckToolTest : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // The text with each "@DIR@" standing for the scratch folder.
    std::string WithDir(std::string text) const
    {
        for (std::size_t at; (at = text.find("@DIR@")) != std::string::npos;) {
            text.replace(at, 5, dir_.string());
        }
        return text;
    }

    int Run(std::vector<std::string> args)
    {
        out_.str({});
        err_.str({});
        return RunCheckTool(args, out_, err_);
    }

    const test::ScratchDir scratch_;
    const fs::path dir_ = scratch_.path();
    std::ostringstream out_;
    std::ostringstream err_;
};

// The lines with their time stamps masked, which come from the real clock.
std::string MaskTimeStamps(const std::string& lines)
{
    static const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}.\d{2}.\d{2},)");
    return std::regex_replace(lines, stamp, "T,");
}

TEST_F(CheckToolTest, PrintsTheSevenSettingsInTheirOrder)
{
    const std::string ini = Write(
        "a.ini",
        "[Settings]\r\nLastSensor=2.5\r\nPollInterval=abc\r\n[VORNIX7]\r\nURL='http://127.0.0.1:9/'\r\n");
    EXPECT_EQ(Run({"--ini", ini}), 3); // PollInterval 0 draws a warning
    EXPECT_EQ(out_.str(),
              std::string("PollInterval=0\nURL=http://127.0.0.1:9/\nStartMinimized=0\nHTMLTimeout=1\n"
                          "UseLogFile=1\nLogfileName=")
                  + kDefaultLogfileName + "\nLastSensor=2\n");
}

TEST_F(CheckToolTest, PrintsOneLogLinePerPollAsTheLoggerWouldAppendIt)
{
    const std::string ini = Write("a.ini", "[Settings]\nLastSensor=2\n");
    const std::string good =
        Write("good.html", "<devicename>Lab, North</devicename><t0>21.5</t0><t1>48</t1><t2>-3.25</t2>");
    const std::string empty = Write("empty.html", "");
    EXPECT_EQ(Run({"--ini", ini, good, "--failed", empty}), 0);
    EXPECT_EQ(MaskTimeStamps(out_.str()), "T,\"Lab, North\",21.5,48.,-3.25,OK\r\n"
                                          "T,\"Lab, North\",-2048000.,-2048000.,-2048000.,ERROR\r\n"
                                          "T,\"Lab, North\",-2048000.,-2048000.,-2048000.,ERROR\r\n");
}

TEST_F(CheckToolTest, PrintsNothingForSuccessfulPollsWhenLoggingIsOff)
{
    const std::string ini = Write("a.ini", "[Settings]\nUseLogFile=0\nLastSensor=-1\n");
    const std::string good = Write("good.html", "<t0>1</t0>");
    EXPECT_EQ(Run({"--ini", ini, good, "--failed"}), 0);
    EXPECT_EQ(MaskTimeStamps(out_.str()), "T,,ERROR\r\n");
}

struct FailureCase {
    const char* name;
    std::string ini;
    std::vector<std::string> pages;
    int status;
    std::string message; // what standard error starts with
};

TEST_F(CheckToolTest, ReportsRunTimeErrorsAndBadUsageWithTheirStatus)
{
    const std::vector<FailureCase> cases = {
        {"sensor index above 16",
         "[Settings]\nLastSensor=17\n",
         {"--failed"},
         1,
         "VORNIX7_Logger: run-time error: Subscript out of range: "},
        {"setting out of 32-bit range",
         "[Settings]\nPollInterval=1E10\n",
         {},
         1,
         "VORNIX7_Logger: run-time error: Overflow: "},
        {"page file missing", "", {"/nonexistent/page.html"}, 2, "vornix7-check: cannot read page file"},
        {"page file a folder", "", {dir_.string()}, 2, "vornix7-check: cannot read page file"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--ini", Write("case.ini", c.ini)};
        args.insert(args.end(), c.pages.begin(), c.pages.end());
        EXPECT_EQ(Run(args), c.status);
        EXPECT_EQ(out_.str(), "");
        EXPECT_EQ(err_.str().rfind(c.message, 0), 0U) << err_.str();
    }
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"--settings", "x"}), 2);
    EXPECT_NE(err_.str().find("usage: vornix7-check --ini FILE"), std::string::npos);
}

std::string ReadAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST_F(CheckToolTest, TheExampleSettingsAreTheReadmeBlockAndDrawNoWarning)
{
    const std::string example = ReadAll(VORNIX7_EXAMPLE_INI);
    ASSERT_FALSE(example.empty());
    std::string block;
    std::istringstream lines(example);
    for (std::string line; std::getline(lines, line);) {
        block += "    " + line + "\n";
    }
    EXPECT_NE(ReadAll(VORNIX7_README).find("\n\n" + block + "\n"), std::string::npos)
        << "the README's settings block differs from " << VORNIX7_EXAMPLE_INI;

    EXPECT_EQ(Run({"--ini", VORNIX7_EXAMPLE_INI}), 0);
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(out_.str(), "PollInterval=5\nURL=http://192.168.1.100/\nStartMinimized=0\nHTMLTimeout=1\n"
                          "UseLogFile=1\nLogfileName=logfile.txt\nLastSensor=7\n");
}

struct WarningCase {
    const char* name;
    std::string ini;  // "@DIR@" stands for a writable scratch folder
    std::size_t line; // of the file, 0 for a warning about the whole file
    std::string text; // what the warning says, in part
};

// Lines 1-2 and 3-5 of a file that draws no warning; rows add their lines.
const std::string kGoodSettings = "[Settings]\nPollInterval=5\n";
const std::string kGoodDevice = "[VORNIX7]\nURL=http://127.0.0.1:8080/status\nLogfileName=@DIR@/log.txt\n";
const std::string kGoodFile = kGoodSettings + kGoodDevice;

std::string WithDevice(const std::string& url, const std::string& log = "@DIR@/log.txt")
{
    return kGoodSettings + "[VORNIX7]\nURL=" + url + "\nLogfileName=" + log + "\n";
}

TEST_F(CheckToolTest, WarnsOncePerLikelyMistakeNamingItsLine)
{
    const std::vector<WarningCase> cases = {
        {"a ';' comment after a value", "[Settings]\nPollInterval=5  ; seconds\n" + kGoodDevice, 2,
         "value of PollInterval is \"5  ; seconds\": text after a value is part of it"},
        {"a '#' comment after a value", kGoodFile + "[Settings]\nLastSensor=3\t# t0..t3\n", 7,
         "value of LastSensor is \"3\t# t0..t3\""},
        {"a misspelt key", kGoodFile + "[Settings]\nPollIntervall=3\n", 7,
         "PollIntervall is not a key the logger reads (did you mean PollInterval?)"},
        {"an unknown key with no near name", kGoodFile + "[VORNIX7]\nColour=red\n", 7,
         "Colour is not a key the logger reads"},
        {"a key in the other section", kGoodFile + "[Settings]\nurl=http://127.0.0.1/\n", 7,
         "URL is not read in [Settings]: it belongs in [VORNIX7]"},
        {"a section the logger does not read", kGoodFile + "[Setings]\nLastSensor=3\n", 6,
         "section [Setings] is not read by the logger, nor are its keys (did you mean [Settings]?)"},
        {"a key above every section", "LastSensor=3\n" + kGoodFile, 1,
         "LastSensor stands above every section and is not read"},
        {"a key given twice", kGoodFile + "[SETTINGS]\npollinterval=9\n", 7,
         "PollInterval is given again; the first, on line 2, counts"},
        {"an https URL", WithDevice("https://127.0.0.1/"), 4, "does not start with http://"},
        {"a URL without a scheme", WithDevice("127.0.0.1/"), 4, "does not start with http://"},
        {"a URL without a host", WithDevice("http:///status"), 4, "it names no host"},
        {"a URL with port 0", WithDevice("http://127.0.0.1:0/"), 4, "port is not a number from 1 to 65535"},
        {"a URL with port 65536", WithDevice("http://127.0.0.1:65536/"), 4, "port is not a number"},
        {"a URL with an empty port", WithDevice("http://127.0.0.1:/"), 4, "port is not a number"},
        {"a URL with a port of more than five digits", WithDevice("http://127.0.0.1:000080/"), 4,
         "port is not a number from 1 to 65535"},
        {"a URL with a signed port", WithDevice("http://127.0.0.1:+80/"), 4,
         "port is not a number from 1 to 65535"},
        {"a URL with a blank", WithDevice("http://127.0.0.1/a b"), 4, "it holds a blank or a control byte"},
        {"a URL whose host holds a character no host name has", WithDevice("http://exa<mple/"), 4,
         "its host holds a character no host name has"},
        {"a URL cut at 999 bytes, the rest not read",
         WithDevice("http://127.0.0.1/" + std::string(1000, 'a')), 4,
         "the value of URL is 1017 bytes long: the logger reads only its first 999"},
        {"an empty URL", WithDevice(""), 4, "URL \"\" cannot be fetched: it is empty"},
        {"no URL set", kGoodSettings + "[VORNIX7]\nLogfileName=@DIR@/log.txt\n", 0,
         "no URL in [VORNIX7]: the logger polls the default http://192.168.1.100/"},
        {"LastSensor above 16", kGoodFile + "[Settings]\nLastSensor=17\n", 7,
         "LastSensor 17 is above 16: the first poll ends the logger with \"Subscript out of range\""},
        {"LastSensor below 0", kGoodFile + "[Settings]\nLastSensor=-1\n", 7,
         "LastSensor -1 is below 0: no readings are logged"},
        {"HTMLTimeout whose wait count overflows", kGoodFile + "[Settings]\nHTMLTimeout=42949673\n", 7,
         "HTMLTimeout 42949673 is too large: its wait count (x50) overflows"},
        {"a negative HTMLTimeout whose wait count overflows",
         kGoodFile + "[Settings]\nHTMLTimeout=-42949673\n", 7, "wait count (x50) overflows"},
        {"PollInterval below 1", "[Settings]\nPollInterval=0.4\n" + kGoodDevice, 2,
         "PollInterval 0 is below 1: a poll every second"},
        {"a log folder that does not exist", WithDevice("http://127.0.0.1/", "@DIR@/missing/log.txt"), 5,
         "the folder of the log file \"@DIR@/missing/log.txt\" does not exist"},
        {"a log path through a file", WithDevice("http://127.0.0.1/", "@DIR@/case.ini/log.txt"), 5,
         "does not exist"},
        {"a log path that is a folder", WithDevice("http://127.0.0.1/", "@DIR@"), 5,
         "the log file \"@DIR@\" is a folder"},
        {"an empty log path", WithDevice("http://127.0.0.1/", ""), 5, "LogfileName is empty"},
        {"lines left waiting beside the log", WithDevice("http://127.0.0.1/", "@DIR@/busy.txt"), 5,
         "2 lines wait in \"@DIR@/busy.txt.waiting\", left while another program held the log"},
        {"lines beside the log that are not log lines", WithDevice("http://127.0.0.1/", "@DIR@/junk.txt"), 5,
         "1 line waits in \"@DIR@/junk.txt.waiting\", left while another program held the log: the logger "
         "moves them into the log with its next line; 2 lines in it are not log lines and will be set aside "
         "in "
         "\"@DIR@/junk.txt.waiting.set-aside\""},
        {"lines set aside beside the log", WithDevice("http://127.0.0.1/", "@DIR@/kept.txt"), 5,
         "lines that were not log lines were set aside in \"@DIR@/kept.txt.waiting.set-aside\""},
        {"a folder in place of the side file", WithDevice("http://127.0.0.1/", "@DIR@/odd.txt"), 5,
         "\"@DIR@/odd.txt.waiting\" is not a side file the logger can use (a folder stands in its place"},
        {"a value with no key", kGoodFile + "[Settings]\n=5\n", 7,
         "a value with no key before its '=' is not read"},
        {"a control byte, shown escaped", WithDevice("http://127.0.0.1/\x1B[2J"), 4,
         "URL \"http://127.0.0.1/\\x1B[2J\" cannot be fetched: it holds a blank or a control byte"},
    };
    Write("busy.txt.waiting", "2026-12-07 14:03:05,a,1.,OK\r\n2026-12-07 14:03:06,b,2.,ERROR\r\n");
    Write("junk.txt.waiting", "a,OK\r\n\x7f"
                              "ELF\r\n2026-12-07 14:03:05,a,1.,OK\r\n");
    Write("kept.txt.waiting.set-aside", "a,OK\r\n");
    fs::create_directory(dir_ / "odd.txt.waiting");
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string ini = Write("case.ini", WithDir(c.ini));
        EXPECT_EQ(Run({"--ini", ini}), 3);
        const std::string out = out_.str();
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 7) << "the seven settings still print";
        const std::string where =
            "warning: " + ini + (c.line == 0 ? "" : ":" + std::to_string(c.line)) + ": ";
        const std::string err = err_.str();
        EXPECT_EQ(err.rfind(where, 0), 0U) << err;
        EXPECT_NE(err.find(WithDir(c.text)), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

TEST_F(CheckToolTest, WarnsAboutAMissingFileOnce)
{
    const std::string missing = (dir_ / "none.ini").string();
    EXPECT_EQ(Run({"--ini", missing}), 3);
    EXPECT_EQ(err_.str(), "warning: " + missing
                              + ": no such file: the logger runs on the defaults and polls "
                                "http://192.168.1.100/, an address no one set\n");
}

TEST_F(CheckToolTest, WarnsAboutAFileThatExistsButCannotBeRead)
{
    const fs::path folder = dir_ / "VORNIX7_Logger.ini";
    fs::create_directory(folder);
    EXPECT_EQ(Run({"--ini", folder.string()}), 3);
    EXPECT_NE(
        err_.str().find("warning: " + folder.string() + ": the settings file exists but cannot be read ("),
        std::string::npos)
        << err_.str();
}

TEST_F(CheckToolTest, WarnsAboutALogFolderThatCannotBeWritten)
{
    const fs::path locked = dir_ / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(locked / "probe")) {
        fs::remove(locked / "probe");
        GTEST_SKIP() << "permissions do not bind this user (root)";
    }
    const std::string ini = Write("case.ini", WithDevice("http://127.0.0.1/", (locked / "log.txt").string()));
    EXPECT_EQ(Run({"--ini", ini}), 3);
    EXPECT_NE(err_.str().find(":5: the log file \"" + (locked / "log.txt").string()
                              + "\" cannot be created: its folder is not writable"),
              std::string::npos)
        << err_.str();
}

TEST_F(CheckToolTest, AUtf8LogNameInAFileWithoutAMarkIsWarnedAboutWhereTheFileIsReadInAnAnsiCodePage)
{
    const bool ansi = SystemCodePageKind() != CodePageKind::kUtf8;
    const std::string utf8Name = "LogfileName=@DIR@/Pr\xC3\xBC"
                                 "fung \xC3\xA4.txt\n";
    const struct {
        const char* name;
        std::string ini;
        bool warned;
    } cases[] = {
        {"UTF-8 without a mark", kGoodSettings + "[VORNIX7]\nURL=http://127.0.0.1/\n" + utf8Name, ansi},
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF" + kGoodSettings + "[VORNIX7]\nURL=http://127.0.0.1/\n" + utf8Name, false},
        {"8-bit text that is no UTF-8",
         kGoodSettings
             + "[VORNIX7]\nURL=http://127.0.0.1/\nLogfileName=@DIR@/Pr\xFC"
               "fung.txt\n",
         false},
        {"UTF-8 without a mark in the URL alone, sent percent-encoded as it stands",
         kGoodSettings + "[VORNIX7]\nURL=http://127.0.0.1/\xC3\xA9\nLogfileName=@DIR@/log.txt\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write("case.ini", WithDir(c.ini));
        EXPECT_EQ(Run({"--ini", path}), c.warned ? 3 : 0) << err_.str();
        EXPECT_EQ(err_.str(), c.warned
                                  ? "warning: " + path
                                        + ":5: the file has no byte-order mark, so the logger reads it in "
                                          "the ANSI code page, but its text is UTF-8: each non-ASCII "
                                          "character of LogfileName reads as two or three others; save the "
                                          "file as \"UTF-8 with BOM\" or as ANSI\n"
                                  : "");
    }
}

TEST_F(CheckToolTest, ACorrectFileDrawsNoWarning)
{
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"every key set, at the edges of their ranges",
         "[Settings]\nPollInterval=1\nHTMLTimeout=42949672\nUseLogFile=0\nLastSensor=16\nStartMinimized=1\n"
         "[VORNIX7]\nURL=HTTP://[::1]:65535/a?b=1#c\nLogfileName=@DIR@/log.txt\n"},
        {"comments, blank lines, CR LF, names in any case, a quoted ';' and LastSensor 0",
         "; a comment\r\n\r\n[ settings ]\r\nlastsensor=0\r\nHTMLTimeout=-42949672\r\n# another\r\n"
         "[vornix7]\r\nurl=http://device.local/\r\nLogfileName=\"@DIR@/log ;x.txt\"\r\n"},
        {"a repeated section and an existing log", kGoodFile + "[Settings]\nLastSensor=3\n"},
        {"a URL with non-ASCII bytes, which the fetch sends percent-encoded, and a user name",
         "[VORNIX7]\nURL=http://user@127.0.0.1:8080/\xC3\xA9?q=\xC3\xBC\nLogfileName=@DIR@/log.txt\n"},
        {"a value of exactly 999 bytes, which is read whole",
         "[VORNIX7]\nURL=http://127.0.0.1/" + std::string(999 - 17, 'a') + "\nLogfileName=@DIR@/log.txt\n"},
    };
    std::ofstream(dir_ / "log.txt") << "x\r\n";
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Run({"--ini", Write("case.ini", WithDir(text))}), 0);
        EXPECT_EQ(err_.str(), "");
    }
}

} // namespace
} // namespace vornix7
