#include <QApplication>

#include <gtest/gtest.h>

#include "platform/signals.h"

// The main of every test program that builds the logger's window: headless,
// the platform chosen before Qt starts, so no test needs a display or waits
// for a click on a message box. The log's write signals are ignored as in
// the programs.
int main(int argc, char* argv[])
{
    vornix7::IgnoreWriteSignals();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    // Death-test children start afresh from main, so they get their own
    // QApplication instead of a forked copy of Qt's threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
