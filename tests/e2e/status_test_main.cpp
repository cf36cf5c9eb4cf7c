#include <QApplication>

#include <gtest/gtest.h>

// The status label lives in the program's window, which a separate process
// keeps to itself; these tests build the logger in-process instead, with
// the real transfer control, headless.
int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
