// Arbitrary settings-file bytes through the reader and ReadSettings: never
// a crash; the only error is Overflow of a numeric setting; texts stay
// within the value limit; the line listing a settings check uses agrees
// with every lookup.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "common/ascii.h"
#include "common/runtime_error.h"
#include "config/ini_file.h"
#include "config/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const vornix7::IniFile file(bytes);
    try {
        const vornix7::SettingsRecord settings = vornix7::ReadSettings(file);
        if (settings.URL.size() > vornix7::kMaxIniValueLength
            || settings.LogfileName.size() > vornix7::kMaxIniValueLength) {
            std::abort();
        }
    } catch (const vornix7::RuntimeError& error) {
        if (error.kind() != vornix7::error_kind::kOverflow) {
            std::abort();
        }
    }
    // Section and key names taken from the input itself.
    const std::size_t cut = bytes.find('\x01');
    if (cut != std::string::npos) {
        const std::string section = bytes.substr(0, cut);
        const std::string key = bytes.substr(cut + 1, 16);
        if (vornix7::ReadIniValue(section, key, "default", file).size() > vornix7::kMaxIniValueLength) {
            std::abort();
        }
    }
    // The first occurrence of each section and key in the listing is what
    // a lookup of them gives (a few, so a long input stays quick).
    std::set<std::pair<std::string, std::string>> seen;
    for (const vornix7::IniEntry& entry : file.Entries()) {
        if (entry.isSection || entry.aboveFirstSection || seen.size() >= 16) {
            continue;
        }
        std::string section;
        std::string key;
        for (const char c : entry.section) {
            section += vornix7::AsciiLower(c);
        }
        for (const char c : entry.key) {
            key += vornix7::AsciiLower(c);
        }
        if (seen.emplace(section, key).second
            && vornix7::ReadIniValue(entry.section, entry.key, "\x01", file) != entry.value) {
            std::abort();
        }
    }
    return 0;
}
