#pragma once

#include <string>
#include <vector>

namespace vornix7 {

class IniFile;
struct SettingsRecord;

// One "warning: PATH:LINE: text" line (or "warning: PATH: text", about the
// file as a whole) per likely mistake in the settings file at `path`: `file`
// as read from there and `settings`, what ReadSettings made of it. Those
// about the whole file come first, then in the order of the file's lines.
// Only looks: nothing is created or changed, and the settings stay exactly
// as the logger reads them.
std::vector<std::string> SettingsFileWarnings(const std::string& path, const IniFile& file,
                                              const SettingsRecord& settings);

} // namespace vornix7
