#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "options.h"

namespace vornix7::sim {

struct ControlWord {
    bool present = false;     // the control file exists
    std::string word;         // its first word, possibly empty
    std::optional<Mode> mode; // set when `word` names a mode
};

// Read fresh before every request, so a test can switch the device between
// working and failing without restarting it (the port stays the same).
ControlWord ReadControlFile(const std::string& path);

// Writes via a temporary file and rename, so a reader polling the file
// never sees it empty or half written.
bool WriteCountFile(const std::string& path, std::uint64_t count);

} // namespace vornix7::sim
