#include "shell/qt/headless.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QtGlobal>

#include <string>

#include "common/runtime_error.h"
#include "platform/system.h"
#include "shell/error_report.h"

namespace vornix7 {

bool RunOffscreenWithoutDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || DisplayAvailable()) {
        return false;
    }
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    WriteErrorLine(std::string(kWindowProgramName) + ": no display found; running without a window\n");
    return true;
}

bool HasRealDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen")
           && platform != QLatin1String("minimal");
}

} // namespace vornix7
