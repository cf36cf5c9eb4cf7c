#include <QApplication>

#include "shell/logger_app.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Every close goes through the window's end action; Qt must not quit on
    // its own when the window goes.
    QApplication::setQuitOnLastWindowClosed(false);

    vornix7::LoggerApp logger;
    logger.Start();
    return QApplication::exec();
}
