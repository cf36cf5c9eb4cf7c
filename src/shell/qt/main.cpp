#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

#include "shell/command_line.h"
#include "shell/logger_app.h"
#include "shell/qt/main_window.h"

int main(int argc, char* argv[])
{
    // Arguments are answered before Qt starts, so without a display.
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (const auto answered = vornix7::StartProgram(args, std::cout, std::cerr)) {
        return *answered;
    }

    vornix7::RunOffscreenWithoutDisplay();
    QApplication application(argc, argv);
    // Every close goes through the window's end action; Qt must not quit on
    // its own when the window goes.
    QApplication::setQuitOnLastWindowClosed(false);

    vornix7::MainWindow window;
    // On a platform that shows nothing (offscreen, minimal: no display)
    // nobody sees a repaint, and the two a poll asks for were a fifth of
    // its CPU time. The label still takes each text; grab() still draws.
    if (!vornix7::HasRealDisplay()) {
        window.setUpdatesEnabled(false);
    }
    return vornix7::RunLogger(window);
}
