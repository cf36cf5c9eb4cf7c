#pragma once

#include <string>

namespace vornix7::e2e {

// The settings a test gives the logger, as text. Every value is written as
// given, so a test can also write what the logger must refuse.
struct LoggerSettings {
    std::string url;
    std::string pollInterval = "1";
    std::string htmlTimeout = "1";
    std::string useLogFile = "1";
    std::string lastSensor = "7";
    std::string logfileName = "log.txt";
};

// The text of VORNIX7_Logger.ini. Throws std::invalid_argument unless the URL
// is on 127.0.0.1: the default device address is on the local network and
// must never be polled from a test machine.
std::string SettingsText(const LoggerSettings& settings);

// The start of a settings file whose URL is a port on 127.0.0.1 that
// nothing answers on, for tests that write the rest of the file themselves.
inline constexpr const char* kHarmlessUrlHeader = "[VORNIX7]\r\nURL=http://127.0.0.1:1/\r\n";

} // namespace vornix7::e2e
