#include "config/settings.h"

#include "common/runtime_error.h"
#include "config/ini_file.h"
#include "config/numbers.h"

namespace vornix7 {

namespace {

std::string TextSetting(const IniFile& file, const SettingKey& setting)
{
    return ReadIniValue(setting.section, setting.key, setting.defaultText, file);
}

std::int32_t NumberSetting(const IniFile& file, const SettingKey& setting)
{
    try {
        return RoundToInt32(LeadingNumber(TextSetting(file, setting)));
    } catch (const RuntimeError& error) {
        throw RuntimeError(error.kind(), std::string("setting ") + setting.key + ": " + error.detail());
    }
}

} // namespace

SettingsRecord ReadSettings(const IniFile& file)
{
    SettingsRecord settings;
    settings.PollInterval = NumberSetting(file, kPollIntervalKey);
    settings.URL = TextSetting(file, kUrlKey);
    settings.StartMinimized = NumberSetting(file, kStartMinimizedKey);
    settings.HTMLTimeout = NumberSetting(file, kHtmlTimeoutKey);
    settings.UseLogFile = NumberSetting(file, kUseLogFileKey);
    settings.LogfileName = TextSetting(file, kLogfileNameKey);
    settings.LastSensor = NumberSetting(file, kLastSensorKey);
    return settings;
}

} // namespace vornix7
