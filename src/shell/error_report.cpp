#include "shell/error_report.h"

#include "common/runtime_error.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>

namespace vornix7 {

bool HasRealDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen")
           && platform != QLatin1String("minimal");
}

void ReportRuntimeError(const std::string& kind, const std::string& detail, QWidget* parent)
{
    // One write, so the line cannot interleave with anything else on stderr.
    const std::string line = RunTimeErrorMessage(kind, detail) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (HasRealDisplay()) {
        QMessageBox::critical(parent, QStringLiteral("VORNIX7_Logger"),
                              QStringLiteral("Run-time error: %1\n\n%2")
                                  .arg(QString::fromStdString(kind), QString::fromStdString(detail)));
    }
}

void ReportUnreadableSettings(const std::string& path, const std::string& reason)
{
    const std::string line =
        "VORNIX7_Logger: cannot read the settings file '" + path + "': " + reason + "; using the defaults\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace vornix7
