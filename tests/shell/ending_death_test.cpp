#include <QDir>
#include <QFile>
#include <QPushButton>

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>

#include "shell_rig.h"

namespace vornix7::test {
namespace {

using test::PrintTo;

// These run the program's own end (flush, then _exit) in a child process.

constexpr int kNotEnded = 3;

std::string ScratchLog(const std::string& name)
{
    QDir().mkpath(QStringLiteral(VORNIX7_SHELL_SCRATCH_DIR));
    const std::string path = std::string(VORNIX7_SHELL_SCRATCH_DIR) + "/" + name + ".csv";
    QFile::remove(QString::fromStdString(path));
    return path;
}

struct MidFetchCase {
    const char* name;
    std::function<void(MainWindow&)> trigger; // empty: nothing interrupts
    int status;
    bool logWritten;
};

class MidFetchEndTest : public testing::TestWithParam<MidFetchCase> {};

// Ending in the middle of a fetch leaves at once: the poll that was going
// on never reaches the log.
TEST_P(MidFetchEndTest, NothingOfTheInterruptedPollRunsAfterwards)
{
    const MidFetchCase& c = GetParam();
    const std::string log = ScratchLog(c.name);
    EXPECT_EXIT(
        {
            ShellRig rig(SettingsText({{"PollInterval", "1"}, {"LastSensor", "1"}, {"LogfileName", log}}),
                         RigOptions{.memorySink = false, .recordEnding = false});
            rig.control().busyPolls = 5;
            rig.control().onStillExecuting = [&](int call) {
                if (rig.control().executes == 1 && call == 2 && c.trigger) {
                    c.trigger(rig.window());
                }
            };
            rig.app().Start();
            WaitUntil([&] { return rig.control().executes >= 2; });
            _exit(kNotEnded);
        },
        testing::ExitedWithCode(c.status), "");
    EXPECT_EQ(QFile::exists(QString::fromStdString(log)), c.logWritten);
}

INSTANTIATE_TEST_SUITE_P(
    Triggers, MidFetchEndTest,
    testing::Values(MidFetchCase{"Uninterrupted", nullptr, kNotEnded, true},
                    MidFetchCase{"ClickExit",
                                 [](MainWindow& w) {
                                     auto* exit = w.findChild<QPushButton*>("kExit");
                                     QMetaObject::invokeMethod(exit, &QPushButton::click,
                                                               Qt::QueuedConnection);
                                 },
                                 0, false},
                    MidFetchCase{"CloseWindow",
                                 [](MainWindow& w) {
                                     QMetaObject::invokeMethod(&w, &QWidget::close, Qt::QueuedConnection);
                                 },
                                 0, false},
                    MidFetchCase{"Sigterm", [](MainWindow&) { std::raise(SIGTERM); }, 0, false},
                    MidFetchCase{"Sigint", [](MainWindow&) { std::raise(SIGINT); }, 0, false}),
    test::CaseName());

} // namespace
} // namespace vornix7::test
