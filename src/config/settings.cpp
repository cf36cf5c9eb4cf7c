#include "config/settings.h"

#include "common/runtime_error.h"
#include "config/ini_file.h"
#include "config/numbers.h"

namespace vornix7 {

namespace {

std::int32_t NumberSetting(const IniFile& file, const char* section, const char* key, const char* defaultText)
{
    try {
        return RoundToInt32(LeadingNumber(file.Value(section, key, defaultText)));
    } catch (const RuntimeError& error) {
        throw RuntimeError(error.kind(), std::string("setting ") + key + ": " + error.detail());
    }
}

} // namespace

SettingsRecord ReadSettings(const std::string& iniFile)
{
    return ReadSettings(IniFile::Load(iniFile));
}

SettingsRecord ReadSettings(const IniFile& file)
{
    SettingsRecord settings;
    settings.PollInterval = NumberSetting(file, "Settings", "PollInterval", "5");
    settings.URL = file.Value("VORNIX7", "URL", kDefaultUrl);
    settings.StartMinimized = NumberSetting(file, "Settings", "StartMinimized", "0");
    settings.HTMLTimeout = NumberSetting(file, "Settings", "HTMLTimeout", "1");
    settings.UseLogFile = NumberSetting(file, "Settings", "UseLogFile", "1");
    settings.LogfileName = file.Value("VORNIX7", "LogfileName", kDefaultLogfileName);
    settings.LastSensor = NumberSetting(file, "Settings", "LastSensor", "7");
    return settings;
}

} // namespace vornix7
