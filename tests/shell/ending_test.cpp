#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

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

} // namespace
} // namespace vornix7::test
