#include <QFile>
#include <QLabel>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

#include "log/log_file.h"
#include "log/log_with_side_file.h"
#include "platform/locked_file.h"
#include "platform/system.h"
#include "shell_rig.h"

namespace vornix7::test {
namespace {

using test::PrintTo;

struct PollCase {
    const char* name;
    std::optional<std::string> body;
    std::string fields; // after the time stamp
    QString status;
};

class PollPathTest : public testing::TestWithParam<PollCase> {};

// Start-up to log line in one process: the settings reach the schedule, the
// fetch reaches the window, the result reaches the log.
TEST_P(PollPathTest, EveryPollAppendsOneLineAndShowsTheOutcome)
{
    ShellRig rig(SettingsText({{"PollInterval", "2"},
                               {"LastSensor", "1"},
                               {"UseLogFile", "1"},
                               {"URL", "http://127.0.0.1:3/status"}}));
    rig.control().busyPolls = 2;
    rig.control().body = GetParam().body;
    rig.app().Start();

    ASSERT_TRUE(WaitUntil([&] { return rig.sink().lines.size() >= 2; }));
    const char sep = LocaleTimeSeparator();
    const std::string expected = std::string("2024-05-06 07") + sep + "08" + sep + "09," + GetParam().fields;
    EXPECT_EQ(rig.sink().lines[0], expected);
    EXPECT_EQ(rig.sink().lines[1], expected);
    EXPECT_EQ(rig.control().lastUrl, "http://127.0.0.1:3/status");
    EXPECT_EQ(rig.child<QLabel>("lBla")->text(), GetParam().status);
    EXPECT_TRUE(rig.endings().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, PollPathTest,
    testing::Values(PollCase{"Online", "<devicename>Lab 7</devicename><t0>21.5</t0><t1>48</t1>",
                             "Lab 7,21.5,48.,OK\r\n", "ONLINE"},
                    PollCase{"Offline", std::nullopt, ",-2048000.,-2048000.,ERROR\r\n", "OFFLINE"}),
    test::CaseName());

// A log that another program holds: the polls go on, the label keeps its
// status and its tooltip says where the lines wait (the path shown as
// text, never as markup); once the log is free the tooltip goes. Without a
// screen the same is said on standard error, once each way.
TEST(PollPathTest, ABusyLogShowsInTheLabelsTooltipAndLeavesItsText)
{
    QTemporaryDir logDir;
    const std::string log = logDir.filePath("<b>log.csv").toStdString();
    ShellRig rig(SettingsText({{"PollInterval", "1"}, {"LastSensor", "0"}, {"LogfileName", log}}),
                 RigOptions{.memorySink = false});
    LogFile(log).Append("old\r\n");
    auto holder = std::make_unique<LogAppendFile>();
    ASSERT_TRUE(holder->Open(log).ok());
    const auto taken = holder->TryLock();
    ASSERT_TRUE(taken.ok() && *taken);
    auto* label = rig.child<QLabel>("lBla");
    testing::internal::CaptureStderr();
    rig.app().Start();

    ASSERT_TRUE(WaitUntil([&] { return !label->toolTip().isEmpty(); }, 10000));
    EXPECT_EQ(label->toolTip(), Qt::convertFromPlainText(QString::fromStdString(
                                    LogWithSideFile::NoticeText(1, log + ".waiting"))));
    EXPECT_EQ(label->text(), "ONLINE");
    holder.reset();
    ASSERT_TRUE(WaitUntil([&] { return label->toolTip().isEmpty(); }, 10000));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(label->text(), "ONLINE");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(log + ".waiting")));
    EXPECT_TRUE(rig.endings().empty());
    EXPECT_EQ(err,
              "VORNIX7_Logger: " + LogWithSideFile::NoticeText(1, log + ".waiting")
                  + "\nVORNIX7_Logger: the log file can be written again; the waiting lines are in it\n");
}

TEST(PollPathTest, PollsOnEverySecondTickCountedFromTheLastPoll)
{
    ShellRig rig(SettingsText({{"PollInterval", "2"}}));
    // Connected after the window's own handler, so it counts a tick once
    // that tick's poll is over: a poll on tick n sees n - 1.
    int ticksDone = 0;
    QObject::connect(rig.child<QTimer>("Timer1"), &QTimer::timeout, [&] { ++ticksDone; });
    std::vector<int> pollTicks;
    rig.control().onStillExecuting = [&](int call) {
        if (call == 1) {
            pollTicks.push_back(ticksDone + 1);
        }
    };
    rig.app().Start();
    ASSERT_TRUE(WaitUntil([&] { return pollTicks.size() >= 3; }));
    EXPECT_EQ(pollTicks, (std::vector<int>{2, 4, 6}));
}

struct PollErrorCase {
    const char* name;
    std::string settings;
    std::function<void()> control; // what the control does on Execute
    bool realLog;
    std::string kind;
    std::string detail = ""; // the start of the report's detail
};

class PollErrorTest : public testing::TestWithParam<PollErrorCase> {};

// Whatever goes wrong in a poll stops at the tick: reported once on stderr
// by its kind, the program ends with 1 and the timer does not come back.
TEST_P(PollErrorTest, RunTimeErrorInAPollEndsWithStatusOne)
{
    const PollErrorCase& c = GetParam();
    ShellRig rig(c.settings, RigOptions{.memorySink = !c.realLog});
    rig.control().onExecute = c.control;
    // Busy at first, so the fetch also reaches its wait limit check.
    rig.control().busyPolls = 1;
    testing::internal::CaptureStderr();
    rig.app().Start();
    const bool ended = WaitUntil([&] { return !rig.endings().empty(); });
    WaitUntil([] { return false; }, 50);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ended);
    EXPECT_EQ(rig.endings(), std::vector<int>{1});
    EXPECT_FALSE(rig.child<QTimer>("Timer1")->isActive());
    EXPECT_LE(rig.control().executes, 1);

    const std::string report = "\nVORNIX7_Logger: run-time error: " + c.kind + ": " + c.detail;
    const std::size_t at = ("\n" + err).find(report);
    EXPECT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find("VORNIX7_Logger:", at + 1), std::string::npos) << "reported twice: " << err;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, PollErrorTest,
    testing::Values(
        PollErrorCase{"SensorOutOfRange", SettingsText({{"PollInterval", "1"}, {"LastSensor", "17"}}),
                      nullptr, false, "Subscript out of range"},
        PollErrorCase{"TimeoutOverflow", SettingsText({{"PollInterval", "1"}, {"HTMLTimeout", "50000000"}}),
                      nullptr, false, "Overflow"},
        PollErrorCase{"LogDirectoryMissing",
                      SettingsText({{"PollInterval", "1"}, {"LogfileName", "/nonexistent-vornix7/log.csv"}}),
                      nullptr, true, "Path not found"},
        PollErrorCase{"StdException", SettingsText({{"PollInterval", "1"}}),
                      [] { throw std::runtime_error("the fake control broke"); }, false, "Internal error",
                      "the fake control broke"},
        PollErrorCase{"OtherException", SettingsText({{"PollInterval", "1"}}), [] { throw 42; }, false,
                      "Internal error"}),
    test::CaseName());

} // namespace
} // namespace vornix7::test
