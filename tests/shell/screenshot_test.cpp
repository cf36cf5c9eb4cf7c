#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <gtest/gtest.h>

#include "shell_rig.h"

namespace vornix7::test {
namespace {

// Leaves a picture of the window after a good poll, for people to look at.
TEST(ScreenshotTest, WindowAfterAGoodPollIsSavedAsPng)
{
    ShellRig rig(SettingsText({{"PollInterval", "1"}}));
    rig.app().Start();
    ASSERT_TRUE(WaitUntil([&] { return rig.child<QLabel>("lBla")->text() == "ONLINE"; }));

    const QString dir = QStringLiteral(VORNIX7_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = dir + "/vornix7-window.png";
    ASSERT_TRUE(rig.window().grab().save(path, "PNG"));

    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), QSize(278, 64));
}

} // namespace
} // namespace vornix7::test
