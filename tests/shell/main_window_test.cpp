#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

#include "shell/qt/main_window.h"
#include "shell_rig.h"

namespace vornix7::test {
namespace {

using test::PrintTo;

// A window on a fake control that records how it would end.
struct BareWindow {
    std::vector<int> endings;
    MainWindow window{10, [this](int status) {
                          endings.push_back(status);
                      }};
};

TEST(MainWindowTest, WindowHasItsDesignNameTitleAndFixedClientSize)
{
    BareWindow bare;
    MainWindow& window = bare.window;
    EXPECT_EQ(window.objectName(), "main");
    EXPECT_EQ(window.windowTitle(), "VORNIX7_Logger");
    EXPECT_EQ(window.size(), QSize(278, 64));
    EXPECT_EQ(window.minimumSize(), QSize(278, 64));
    EXPECT_EQ(window.maximumSize(), QSize(278, 64));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(window.isVisible());
}

struct ControlCase {
    const char* name;
    const char* className;
    const char* text;
    QRect geometry;
};

class MainWindowControlTest : public testing::TestWithParam<ControlCase> {};

TEST_P(MainWindowControlTest, ControlHasItsNameTextAndGeometry)
{
    BareWindow bare;
    const ControlCase& c = GetParam();
    auto* widget = bare.window.findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(c.className)) << widget->metaObject()->className();
    EXPECT_EQ(widget->property("text").toString(), QString::fromLatin1(c.text));
    EXPECT_EQ(widget->geometry(), c.geometry);
}

INSTANTIATE_TEST_SUITE_P(Controls, MainWindowControlTest,
                         testing::Values(ControlCase{"kExit", "QPushButton", "Exit", QRect(184, 8, 85, 21)},
                                         ControlCase{"lBla", "QLabel", "lBla", QRect(4, 36, 265, 21)}),
                         test::CaseName());

TEST(MainWindowTest, ExitIsTheDefaultButtonAndFirstInTheTabOrder)
{
    BareWindow bare;
    auto* exit = bare.window.findChild<QPushButton*>("kExit");
    ASSERT_NE(exit, nullptr);
    EXPECT_TRUE(exit->isDefault());
    EXPECT_TRUE(exit->autoDefault());
    QWidget* first = bare.window.nextInFocusChain();
    while (first != &bare.window && !(first->focusPolicy() & Qt::TabFocus)) {
        first = first->nextInFocusChain();
    }
    EXPECT_EQ(first, exit);
}

TEST(MainWindowTest, TimerBelongsToTheWindowAndWaitsForStartUp)
{
    BareWindow bare;
    auto* timer = bare.window.findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 10);
    EXPECT_FALSE(timer->isActive()) << "Timer1 must wait for the end of start-up";
}

TEST(MainWindowTest, TickIntervalIsOneSecondUnlessGiven)
{
    MainWindow byDefault;
    EXPECT_EQ(byDefault.findChild<QTimer*>("Timer1")->interval(), 1000);
}

TEST(MainWindowTest, LongTickNeverOverlapsTheNextOne)
{
    BareWindow bare;
    auto* timer = bare.window.findChild<QTimer*>("Timer1");
    int depth = 0;
    int deepest = 0;
    int ticks = 0;
    bool timerRanDuringTick = false;
    bare.window.SetTickHook([&] {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        timerRanDuringTick = timerRanDuringTick || timer->isActive();
        // Busy for several intervals while pumping events, as a slow fetch is.
        WaitUntil([] { return false; }, 50);
        --depth;
    });
    bare.window.StartTimer1();
    ASSERT_TRUE(WaitUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_FALSE(timerRanDuringTick);
    EXPECT_TRUE(bare.endings.empty());
}

} // namespace
} // namespace vornix7::test
