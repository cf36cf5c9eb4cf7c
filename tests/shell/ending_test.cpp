#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>

#include "shell_rig.h"

namespace vornix7::test {
namespace {

using test::PrintTo;

struct ExitCase {
    const char* name;
    std::function<void(MainWindow&)> act;
};

class ExitWayTest : public testing::TestWithParam<ExitCase> {};

// Every way out a user has ends the program with status 0, once, and no
// tick follows.
TEST_P(ExitWayTest, EndsWithStatusZero)
{
    ShellRig rig(SettingsText({{"PollInterval", "1000"}}));
    rig.app().Start();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.window()));
    GetParam().act(rig.window());
    EXPECT_EQ(rig.endings(), std::vector<int>{0});
    EXPECT_FALSE(rig.child<QTimer>("Timer1")->isActive());
}

// Keys go to whatever has the focus once the window is up: the user never
// has to pick the button first.
void PressOnFocus(Qt::Key key)
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    ASSERT_EQ(focus->objectName(), "kExit");
    QTest::keyClick(focus, key);
}

INSTANTIATE_TEST_SUITE_P(Ways, ExitWayTest,
                         testing::Values(ExitCase{"ClickExit",
                                                  [](MainWindow& w) {
                                                      QTest::mouseClick(w.findChild<QPushButton*>("kExit"),
                                                                        Qt::LeftButton);
                                                  }},
                                         ExitCase{"Return",
                                                  [](MainWindow&) {
                                                      PressOnFocus(Qt::Key_Return);
                                                  }},
                                         ExitCase{"Enter",
                                                  [](MainWindow&) {
                                                      PressOnFocus(Qt::Key_Enter);
                                                  }},
                                         ExitCase{"Space",
                                                  [](MainWindow&) {
                                                      PressOnFocus(Qt::Key_Space);
                                                  }},
                                         ExitCase{"CloseWindow",
                                                  [](MainWindow& w) {
                                                      w.close();
                                                  }}),
                         test::CaseName());

class SignalTest : public testing::TestWithParam<int> {};

// A signal takes effect at the next event processing, never inside the
// handler: until then the program carries on as if nothing happened.
TEST_P(SignalTest, SignalEndsLikeExitOnTheNextEventPass)
{
    ShellRig rig(SettingsText({{"PollInterval", "1000"}}));
    rig.app().Start();
    ASSERT_EQ(std::raise(GetParam()), 0);
    EXPECT_TRUE(rig.endings().empty());
    ASSERT_TRUE(WaitUntil([&] { return !rig.endings().empty(); }));
    EXPECT_EQ(rig.endings(), std::vector<int>{0});
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest, testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "SIGTERM" : "SIGINT"; });

TEST(SignalTest, HandlersAreGivenBackWhenTheAppGoes)
{
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &before), 0);
    {
        ShellRig rig(SettingsText({}));
        rig.app().Start();
        struct sigaction during {};
        ASSERT_EQ(sigaction(SIGTERM, nullptr, &during), 0);
        EXPECT_NE(during.sa_handler, before.sa_handler);
    }
    struct sigaction after {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

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
