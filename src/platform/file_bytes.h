#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace vornix7 {

// What reading a whole file gave. A file that is not there is told apart
// from one that is there but cannot be read, so the second can be said out
// loud while both leave the settings at their defaults.
struct FileBytes {
    enum class Outcome { kRead, kMissing, kUnreadable };

    Outcome outcome = Outcome::kMissing;
    std::string bytes;   // kRead: the file's first bytes, at most the limit asked for
    std::string problem; // kUnreadable: the reason, such as "Permission denied"
};

// Reads the regular file at `path` (8-bit text in the system's code page),
// in binary, without ever blocking on it: a folder, a FIFO or a device is
// kUnreadable, never waited for. A path that names nothing (no such file or
// folder, empty text) is kMissing.
FileBytes ReadFileBytes(const std::string& path, std::size_t maxBytes);

// The same for a path in the system's own form (UTF-16 on Windows), such as
// the program's folder, whose name the 8-bit code page may not hold.
FileBytes ReadFileBytesAtSystemPath(const std::filesystem::path& path, std::size_t maxBytes);

} // namespace vornix7
