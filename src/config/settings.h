#pragma once

#include <cstdint>
#include <string>

#include "platform/default_log_file.h" // kDefaultLogfileName, chosen per system

namespace vornix7 {

// Name of the settings file, kept beside the executable.
inline constexpr const char* kSettingsFileName = "VORNIX7_Logger.ini";

// The device's address on the local network when the settings name none.
inline constexpr const char* kDefaultUrl = "http://192.168.1.100/";

// Everything the program is told by its settings file. All zero and empty
// until ReadSettings fills it; read-only afterwards.
struct SettingsRecord {
    std::int32_t PollInterval = 0;   // ticks between polls
    std::string URL;                 // the device page polled
    std::int32_t StartMinimized = 0; // non-zero: the window starts minimized
    std::int32_t HTMLTimeout = 0;    // seconds a poll waits for the device
    std::int32_t UseLogFile = 0;     // above zero: successful polls are logged
    std::string LogfileName;         // the log, relative to the working directory
    std::int32_t LastSensor = 0;     // highest sensor index polled and logged
};

// Reads the seven settings from the file at `iniFile`, in this order:
// PollInterval, URL, StartMinimized, HTMLTimeout, UseLogFile, LogfileName,
// LastSensor. Numbers go through LeadingNumber and RoundToInt32, so a
// value that rounds outside int32 throws RuntimeError "Overflow".
SettingsRecord ReadSettings(const std::string& iniFile);

class IniFile;

// The same from a settings file already read.
SettingsRecord ReadSettings(const IniFile& file);

} // namespace vornix7
