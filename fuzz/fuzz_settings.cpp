// Arbitrary settings-file bytes through the reader and ReadSettings: never
// a crash; the only error is Overflow of a numeric setting; texts stay
// within the value limit.
#include <cstdint>
#include <cstdlib>
#include <string>

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
        if (file.Value(section, key, "default").size() > vornix7::kMaxIniValueLength) {
            std::abort();
        }
    }
    return 0;
}
