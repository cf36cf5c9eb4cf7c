#include <QApplication>

#include <gtest/gtest.h>

// Headless: the platform is chosen before Qt starts, so the soak needs no
// display and the real window still takes its status texts and repaints.
int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
