#include "shell/app_dir.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace vornix7 {

std::string ExecutableDir()
{
    // encodeName gives the file system's bytes, so a directory whose name is
    // not valid UTF-8 is still found.
    return QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath())
        .toStdString();
}

} // namespace vornix7
