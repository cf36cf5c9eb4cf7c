#pragma once

#include <string>
#include <string_view>

#include "log/line_sink.h"

namespace vornix7 {

// The log file on disk. Each line is appended with one write and flushed to
// stable storage before Append returns, and the file is open only during
// that call, so between polls it can be read, copied, moved or deleted (a
// deleted log is created afresh). A line is either whole in the file or not
// there at all: a write that fails half-way is cut back off. Any failure
// throws RuntimeError naming its kind ("Path not found", "Permission
// denied", "Disk full", ...); nothing is ever dropped silently.
class LogFile final : public LineSink {
public:
    explicit LogFile(std::string path) : path_(std::move(path)) {}

    void Append(std::string_view line) override;

private:
    std::string path_;
};

} // namespace vornix7
