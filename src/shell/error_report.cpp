#include "shell/error_report.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <algorithm>
#include <cstdio>

namespace vornix7 {

namespace {

std::string OnOneLine(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

} // namespace

std::string RuntimeErrorLine(const std::string& kind, const std::string& detail)
{
    return "VORNIX7_Logger: run-time error: " + OnOneLine(kind) + ": " + OnOneLine(detail);
}

bool HasRealDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen")
           && platform != QLatin1String("minimal");
}

void ReportRuntimeError(const std::string& kind, const std::string& detail, QWidget* parent)
{
    // One write, so the line cannot interleave with anything else on stderr.
    const std::string line = RuntimeErrorLine(kind, detail) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    if (HasRealDisplay()) {
        QMessageBox::critical(parent, QStringLiteral("VORNIX7_Logger"),
                              QStringLiteral("Run-time error: %1\n\n%2")
                                  .arg(QString::fromStdString(kind), QString::fromStdString(detail)));
    }
}

} // namespace vornix7
