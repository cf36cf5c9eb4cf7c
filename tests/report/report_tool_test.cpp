#include "tools/report/report_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/locked_file.h"
#include "scratch_dir.h"
#include "tools/report/report_page.h"

namespace vornix7 {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

const std::string kLog = "2026-12-07 10:00:00,Lab,1.,2.,OK\r\n"
                         "2026-12-07 10:00:05,Lab,-2048000.,-2048000.,ERROR\r\n"
                         "2026-12-07 10:00:10,Lab,3.,4.,OK\r\n";

struct ToolCase {
    const char* name;
    std::string log;               // written to log.txt in a scratch folder
    std::vector<std::string> args; // "{dir}" is that folder
    bool library;                  // a chart library beside the tool
    int status;
    std::vector<std::string> errHas;  // on the error stream
    std::vector<std::string> pageHas; // in the page ({dir}/log.txt.html unless -o)
    std::vector<std::string> pageLacks;
    std::function<void(const std::string& dir)> prepare = nullptr;
    std::string page = "log.txt.html";
    std::function<void(const std::string& dir)> check = nullptr;
};

const std::string kWiderLog = "2026-12-07 10:00:02,Lab South,5.,6.,7.,OK\r\n"
                              "2026-12-07 10:00:07,Lab South,8.,9.,10.,OK\r\n";

// "{dir}" is the scratch folder, "{leaf}" its own name.
std::string InDir(std::string text, const std::string& dir)
{
    const std::pair<std::string, std::string> marks[] = {{"{dir}", dir},
                                                         {"{leaf}", fs::path(dir).filename().string()}};
    for (const auto& [mark, value] : marks) {
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;) {
            text.replace(at, mark.size(), value);
        }
    }
    return text;
}

TEST(RunReportTool, WritesThePageAndSaysWhatWentWrong)
{
    const ToolCase cases[] = {
        {"a clean log gives status 0 and a page with the charts' library inline",
         kLog,
         {"{dir}/log.txt"},
         true,
         0,
         {},
         {"<td id=\"polls\">3</td>", "/*the chart library*/", "data-charts=\"2\""},
         {}},
        {"lines that cannot be read give status 3 and are named by line number; the page is written",
         kLog + "garbage\r\n" + kLog,
         {"{dir}/log.txt"},
         true,
         3,
         {"log.txt:4: "},
         {"<td id=\"unreadable\">1</td>", "line 4: "},
         {}},
        {"an exact repeat of an earlier line is skipped and named; it is no poll and no fault",
         kLog + "2026-12-07 10:00:00,Lab,1.,2.,OK\r\n",
         {"{dir}/log.txt"},
         true,
         0,
         {"log.txt:4: exact repeat of line 1, skipped", "log.txt: Exact repeats skipped: 1"},
         {"<td id=\"polls\">3</td>", "<td id=\"ok\">2</td>", "<td id=\"repeats\">1</td>",
          "line 4: exact repeat of line 1"},
         {}},
        {"a device name with markup is shown as text",
         "2026-12-07 10:00:00,<script>alert(1)</script>,1.,OK\r\n",
         {"{dir}/log.txt"},
         true,
         0,
         {},
         {"&lt;script&gt;alert(1)&lt;/script&gt;"},
         {"<script>alert"}},
        {"without the chart library the page has the tables only and says so",
         kLog,
         {"{dir}/log.txt"},
         false,
         0,
         {"warning: the chart library"},
         {"<td id=\"ok\">2</td>", "data-charts=\"0\"", "tables only"},
         {"report-data"}},
        {"a chart library that would close its own script element is not inlined",
         kLog,
         {"{dir}/log.txt"},
         true,
         0,
         {"cannot be inlined"},
         {"data-charts=\"0\""},
         {"</script><b>"},
         [](const std::string& dir) {
             Write(dir + "/lib/" + kChartScriptFile, "x='</script><b>'");
         }},
        {"-o names the page and --from/--to pick the polls",
         kLog,
         {"{dir}/log.txt", "-o", "{dir}/r.html", "--from", "2026-12-07 10:00:05", "--to", "2026-12-07"},
         true,
         0,
         {},
         {"<td id=\"polls\">2</td>", "<td id=\"first\">2026-12-07 10:00:05</td>"},
         {},
         nullptr,
         "r.html"},
        {"a missing log is status 1 and no page", "", {"{dir}/none.txt"}, true, 1, {"none.txt"}, {}, {}},
        {"a folder for a log is status 1", "", {"{dir}"}, true, 1, {"vornix7-report: "}, {}, {}},
        {"a page that cannot be written is status 1, with the reason",
         kLog,
         {"{dir}/log.txt", "-o", "{dir}/no/r.html"},
         true,
         1,
         {"cannot be written: No such file or directory"},
         {},
         {}},
        {"a page over a folder names the reason",
         kLog,
         {"{dir}/log.txt", "-o", "{dir}/lib"},
         true,
         1,
         {"lib: cannot be written: Is a directory"},
         {},
         {}},
#ifndef _WIN32
        {"a page over a device names the reason and leaves the device alone",
         kLog,
         {"{dir}/log.txt", "-o", "/dev/full"},
         true,
         1,
         {"/dev/full: cannot be written: Not a regular file"},
         {},
         {}},
        {"the default page name as a link to the log is refused, and the log kept",
         kLog,
         {"{dir}/log.txt"},
         true,
         2,
         {"overwrite the log"},
         {},
         {},
         [](const std::string& dir) { fs::create_symlink(dir + "/log.txt", dir + "/log.txt.html"); },
         "none.html"},
        {"a link at the page's name is replaced by the page, never written through",
         kLog,
         {"{dir}/log.txt"},
         true,
         0,
         {},
         {"<td id=\"polls\">3</td>"},
         {},
         [](const std::string& dir) {
             Write(dir + "/other.txt", "keep");
             fs::create_symlink(dir + "/other.txt", dir + "/log.txt.html");
         },
         "log.txt.html",
         [](const std::string& dir) {
             EXPECT_EQ(ReadAll(dir + "/other.txt"), "keep");
             EXPECT_FALSE(fs::is_symlink(dir + "/log.txt.html"));
         }},
        {"a link at the workbook's name is replaced by the workbook, never written through",
         kLog,
         {"{dir}/log.txt", "--xlsx", "{dir}/b.xlsx"},
         true,
         0,
         {},
         {"[Content_Types].xml"},
         {},
         [](const std::string& dir) {
             Write(dir + "/other.txt", "keep");
             fs::create_symlink(dir + "/other.txt", dir + "/b.xlsx");
         },
         "b.xlsx",
         [](const std::string& dir) {
             EXPECT_EQ(ReadAll(dir + "/other.txt"), "keep");
             EXPECT_FALSE(fs::is_symlink(dir + "/b.xlsx"));
         }},
#endif
        {"far-off time stamps and a spell across a clock set back are named in the summary",
         "1970-01-01 00:00:01,Lab,1.,OK\r\n" +
             [] {
                 std::string log;
                 for (int i = 0; i < 20; ++i) {
                     log += "2026-10-25 02:5" + std::to_string(i / 6) + ":" + std::to_string(i % 6) + "0,Lab,"
                            + (i == 19 ? "-2048000.,ERROR" : "1.,OK") + "\r\n";
                 }
                 return log;
             }()
             + "2026-10-25 02:00:00,Lab,2.,OK\r\n",
         {"{dir}/log.txt"},
         true,
         0,
         {},
         {"<td id=\"far-off\">1 polls from 1970-01-01 00:00:01 to 1970-01-01 00:00:01",
          "<td id=\"first\">2026-10-25 02:00:00</td>",
          "10 s from 2026-10-25 02:53:10 to 2026-10-25 02:00:00 (1 failed polls, the clock set back"},
         {}},
        {"several logs give one page: a summary per log and a chart per sensor of the widest",
         kLog,
         {"{dir}/log.txt", "{dir}/b.txt", "-o", "{dir}/r.html"},
         true,
         0,
         {},
         {"<td id=\"log1-polls\">3</td>", "<td id=\"log2-polls\">2</td>", "data-charts=\"3\"",
          "id=\"log2-sensor-2\"", "/b.txt\",\"color\":\"#d55e00\""},
         {"id=\"log1-sensor-2\"", "id=\"polls\""},
         [](const std::string& dir) { Write(dir + "/b.txt", kWiderLog); },
         "r.html"},
        {"several logs need -o", kLog, {"{dir}/log.txt", "{dir}/log.txt"}, true, 2, {"need -o"}, {}, {}},
        {"a page over any of several logs is refused",
         kLog,
         {"{dir}/log.txt", "{dir}/b.txt", "-o", "{dir}/b.txt"},
         true,
         2,
         {"overwrite the log"},
         {},
         {},
         [](const std::string& dir) { Write(dir + "/b.txt", kWiderLog); },
         "none.html",
         [](const std::string& dir) {
             EXPECT_EQ(ReadAll(dir + "/b.txt"), kWiderLog);
         }},
        {"a page over the log itself is refused",
         kLog,
         {"{dir}/log.txt", "-o", "{dir}/log.txt"},
         true,
         2,
         {"overwrite the log"},
         {},
         {}},
        {"a page over the log by another name is refused",
         kLog,
         {"{dir}/log.txt", "-o", "{dir}/../" + std::string("{leaf}") + "/log.txt"},
         true,
         2,
         {"overwrite the log"},
         {},
         {}},
        {"no log is bad usage", kLog, {}, true, 2, {"usage: "}, {}, {}},
        {"a workbook over the log is refused",
         kLog,
         {"{dir}/log.txt", "--xlsx", "{dir}/log.txt"},
         true,
         2,
         {"overwrite the log"},
         {},
         {}},
        {"a workbook that cannot be written is status 1",
         kLog,
         {"{dir}/log.txt", "--xlsx", "{dir}/no/b.xlsx"},
         true,
         1,
         {"b.xlsx: cannot be written"},
         {},
         {}},
        {"a workbook at a folder's name says why it cannot be written",
         kLog,
         {"{dir}/log.txt", "--xlsx", "{dir}/sub"},
         true,
         1,
         {"sub: cannot be written: Is a directory"},
         {},
         {},
         [](const std::string& dir) { fs::create_directory(dir + "/sub"); },
         "none.xlsx"},
        {"a page and a workbook at once is bad usage",
         kLog,
         {"{dir}/log.txt", "--xlsx", "{dir}/b.xlsx", "-o", "{dir}/r.html"},
         true,
         2,
         {"-o and --xlsx"},
         {},
         {}},
        {"--xlsx without a log is bad usage",
         kLog,
         {"--xlsx", "{dir}/b.xlsx"},
         true,
         2,
         {"no log given"},
         {},
         {}},
        {"several logs for a page without -o is bad usage",
         kLog,
         {"{dir}/log.txt", "{dir}/log.txt"},
         true,
         2,
         {"several logs need -o"},
         {},
         {}},
        {"an unknown option is bad usage",
         kLog,
         {"{dir}/log.txt", "--colour"},
         true,
         2,
         {"--colour"},
         {},
         {}},
        {"a time that is no time is bad usage",
         kLog,
         {"{dir}/log.txt", "--from", "yesterday"},
         true,
         2,
         {"--from yesterday"},
         {},
         {}},
        {"--from after --to is bad usage",
         kLog,
         {"{dir}/log.txt", "--from", "2026-12-08", "--to", "2026-12-07"},
         true,
         2,
         {"after --to"},
         {},
         {}},
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ScratchDir dir;
        Write(dir.path() + "/log.txt", c.log);
        const std::string library = dir.path() + "/lib";
        if (c.library) {
            fs::create_directory(library);
            Write(library + "/" + kChartScriptFile, "/*the chart library*/");
            Write(library + "/" + kChartStyleFile, ".uplot{}");
        }
        if (c.prepare) {
            c.prepare(dir.path());
        }
        std::vector<std::string> args;
        for (const std::string& arg : c.args) {
            args.push_back(InDir(arg, dir.path()));
        }
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunReportTool(args, library, out, err), c.status) << err.str();
        for (const std::string& text : c.errHas) {
            EXPECT_NE(err.str().find(text), std::string::npos) << text << " in: " << err.str();
        }
        const std::string pagePath = dir.path() + "/" + c.page;
        EXPECT_EQ(fs::exists(pagePath), c.status == 0 || c.status == 3);
        const std::string page = ReadAll(pagePath);
        for (const std::string& text : c.pageHas) {
            EXPECT_NE(page.find(InDir(text, dir.path())), std::string::npos) << text;
        }
        for (const std::string& text : c.pageLacks) {
            EXPECT_EQ(page.find(text), std::string::npos) << text;
        }
        EXPECT_EQ(ReadAll(dir.path() + "/log.txt"), c.log) << "the log was changed";
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
        }
        if (c.check) {
            c.check(dir.path());
        }
    }
}

TEST(RunReportTool, ReadsTheLogWhileALoggerHoldsItsLockAndAppends)
{
    const test::ScratchDir dir;
    const std::string log = dir.path() + "/log.txt";
    Write(log, kLog);
    LogAppendFile logger;
    ASSERT_TRUE(logger.Open(log).ok());
    const auto taken = logger.TryLock();
    ASSERT_TRUE(taken.ok() && *taken);
    ASSERT_TRUE(logger.Write("2026-12-07 10:00:15,Lab,5.,6.,OK\r\n2026-12-07 10:00:2").ok());

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunReportTool({log}, dir.path(), out, err), 0) << err.str();
    const std::string page = ReadAll(log + ".html");
    EXPECT_NE(page.find("<td id=\"polls\">4</td>"), std::string::npos);
    EXPECT_NE(page.find("no line end yet"), std::string::npos);
}

struct TextCase {
    const char* name;
    std::string bytes;
    std::string html;
};

TEST(HtmlText, ShowsAnyNameAsTextInTheBrowser)
{
    const TextCase cases[] = {
        {"markup characters are escaped", "<b>&\"'", "&lt;b&gt;&amp;&quot;&#39;"},
        {"UTF-8 stays as it is", "Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xC3\xA9 \xE2\x82\xAC"},
        {"a Latin-1 byte (an 8-bit code page) shows as its letter", "B\xFCro", "B\xC3\xBCro"},
        {"a cut UTF-8 sequence is read as Latin-1 bytes", "\xE2\x82", "\xC3\xA2\xC2\x82"},
        {"U+FFFE is a character in HTML", "\xEF\xBF\xBE", "\xEF\xBF\xBE"},
        {"control bytes show as the replacement character", std::string("a\x1b\0b", 4),
         "a\xEF\xBF\xBD\xEF\xBF\xBD"
         "b"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HtmlText(c.bytes), c.html);
    }
}

} // namespace
} // namespace vornix7
