#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

#include "platform/signals.h"
#include "platform/system.h"
#include "shell/command_line.h"
#include "shell/logger_app.h"
#include "shell/qt/headless.h"
#include "shell/qt/main_window.h"

int main(int argc, char* argv[])
{
    vornix7::HoldStandardStreams();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (!args.empty()) {
        // Arguments are answered before Qt starts, so without a display.
        return *vornix7::RunCommandLine(args, std::cout, std::cerr);
    }

    vornix7::IgnoreWriteSignals();
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
    vornix7::LoggerApp logger(window);
    logger.Start();
    return QApplication::exec();
}
