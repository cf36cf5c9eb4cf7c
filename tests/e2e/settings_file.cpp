#include "settings_file.h"

#include <stdexcept>

namespace vornix7::e2e {

std::string SettingsText(const LoggerSettings& settings)
{
    if (!settings.url.starts_with("http://127.0.0.1:")) {
        throw std::invalid_argument("refusing a settings file with URL '" + settings.url
                                    + "': tests poll only 127.0.0.1");
    }
    return "[Settings]\r\n"
           "PollInterval="
           + settings.pollInterval
           + "\r\n"
             "HTMLTimeout="
           + settings.htmlTimeout
           + "\r\n"
             "UseLogFile="
           + settings.useLogFile
           + "\r\n"
             "LastSensor="
           + settings.lastSensor
           + "\r\n"
             "StartMinimized=0\r\n"
             "[VORNIX7]\r\n"
             "URL="
           + settings.url
           + "\r\n"
             "LogfileName="
           + settings.logfileName + "\r\n";
}

} // namespace vornix7::e2e
