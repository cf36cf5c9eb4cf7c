#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/sensor_table.h"

namespace vornix7::sim {

// How the simulator answers a request; each one imitates a way a real
// device or network path has been seen to fail.
enum class Mode {
    Normal,
    Delay,
    Silent,
    Empty,
    Size,
    Close,
    Reset,
    Trickle,
    Chunked,
    Status,
    Redirect,
    Garbage,
};

std::optional<Mode> ModeFromName(std::string_view name);
std::string_view ModeName(Mode mode);

struct Options {
    std::uint16_t port = 0; // 0 lets the kernel pick a free port
    std::string name = "Lab North";
    int sensors = 8; // the logger reads at most kSensorSlots elements
    // Set by --values: the texts are placed verbatim, one element each.
    std::optional<std::vector<std::string>> fixedValues;
    std::uint64_t seed = 1;
    Mode mode = Mode::Normal;
    std::uint32_t delayMs = 1000;
    std::uint64_t bodyBytes = 4096;
    std::uint32_t trickleMs = 1000;
    int status = 500;
    std::optional<double> maxSeconds;
    std::string controlFile;
    std::string countFile;
    bool quiet = false;
};

struct ParseResult {
    enum class Kind { Run, Help, Error };
    Kind kind = Kind::Run;
    Options options;
    std::string error;
};

// `args` excludes the program name. Accepts "--opt value" and "--opt=value".
ParseResult ParseOptions(const std::vector<std::string>& args);

std::string HelpText(std::string_view program);

// Splits the --values text at commas; "\," keeps a comma inside a value
// (so "21\,5" is one value) and "\\" is a backslash.
std::vector<std::string> SplitValues(std::string_view text);

} // namespace vornix7::sim
