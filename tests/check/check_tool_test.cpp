#include "tools/check/check_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "config/settings.h"
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
    EXPECT_EQ(Run({"--ini", ini}), 0);
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

} // namespace
} // namespace vornix7
