#pragma once

#include <string_view>

namespace vornix7 {

// Where finished log lines go: the log file in the program, standard output
// in the check tool, memory in tests and benchmarks.
class LineSink {
public:
    virtual ~LineSink() = default;

    // Appends one whole line (line end included) or throws RuntimeError.
    virtual void Append(std::string_view line) = 0;
};

} // namespace vornix7
