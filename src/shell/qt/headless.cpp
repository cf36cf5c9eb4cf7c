#include "shell/qt/headless.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QtGlobal>

#include <cstdio>

#include "platform/system.h"

namespace vornix7 {

bool RunOffscreenWithoutDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || DisplayAvailable()) {
        return false;
    }
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    std::fputs("VORNIX7_Logger: no display found; running without a window\n", stderr);
    std::fflush(stderr);
    return true;
}

bool HasRealDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen")
           && platform != QLatin1String("minimal");
}

} // namespace vornix7
