#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/files.h"

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

// Where one setting is read from, and its text when the file has none.
struct SettingKey {
    const char* section;
    const char* key;
    const char* defaultText;
};

inline constexpr SettingKey kPollIntervalKey{"Settings", "PollInterval", "5"};
inline constexpr SettingKey kUrlKey{"VORNIX7", "URL", kDefaultUrl};
inline constexpr SettingKey kStartMinimizedKey{"Settings", "StartMinimized", "0"};
inline constexpr SettingKey kHtmlTimeoutKey{"Settings", "HTMLTimeout", "1"};
inline constexpr SettingKey kUseLogFileKey{"Settings", "UseLogFile", "1"};
inline constexpr SettingKey kLogfileNameKey{"VORNIX7", "LogfileName", kDefaultLogfileName};
inline constexpr SettingKey kLastSensorKey{"Settings", "LastSensor", "7"};

// Every key the logger reads, in the order ReadSettings reads them.
inline constexpr std::array<SettingKey, 7> kSettingKeys = {
    kPollIntervalKey, kUrlKey,         kStartMinimizedKey, kHtmlTimeoutKey,
    kUseLogFileKey,   kLogfileNameKey, kLastSensorKey};

class IniFile;

// Reads the seven settings from the settings file `file` (IniFile::Load or
// LoadFromSystemPath), in this order: PollInterval, URL, StartMinimized,
// HTMLTimeout, UseLogFile, LogfileName, LastSensor, each with ReadIniValue.
// Numbers go through LeadingNumber and RoundToInt32, so a value that rounds
// outside int32 throws RuntimeError "Overflow".
SettingsRecord ReadSettings(const IniFile& file);

} // namespace vornix7
