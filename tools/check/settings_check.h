#pragma once

namespace vornix7 {

class IniFile;
class SettingsWarnings;
struct SettingsRecord;

// Adds to `warnings` each likely mistake in a settings file: `file` as read
// (`found` false when there was no file at all) and `settings`, what
// ReadSettings made of it. Only looks: nothing is created or changed, and
// the settings stay exactly as the logger reads them.
void CheckSettingsFile(const IniFile& file, bool found, const SettingsRecord& settings,
                       SettingsWarnings& warnings);

} // namespace vornix7
