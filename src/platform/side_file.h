#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/log_append.h"

namespace vornix7 {

// The logger's own file beside a busy log, where lines wait until the log
// can be written again. Opened for reading and appending; other loggers may
// open, lock and remove it meanwhile, so whoever holds the lock checks that
// the file is still the one at its name before trusting what it reads.
// Each step calls the system once and never waits: the caller decides how
// long to wait for the lock, pumping window events in between.
class SideFile {
public:
    SideFile() = default;
    ~SideFile();
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;

    // Opens the regular file at `path`, creating it when `create` is true.
    // `missing` is set when there is none and `create` is false. An error
    // marked busy means another program holds it (or, on Windows, that it
    // is being removed by another logger): try again shortly.
    AppendStatus Open(const std::string& path, bool create, bool& missing);

    // Tries once to take the exclusive lock that other loggers honour;
    // `taken` is false while another holder has it.
    AppendStatus TryLock(bool& taken);

    // Whether the open file is still the one named `path`: false once
    // another logger has removed it (or put a new one in its place).
    AppendStatus StillAtPath(bool& same);

    // The whole file.
    AppendStatus ReadAll(std::string& bytes);

    // Cuts the file to `size` bytes.
    AppendStatus CutTo(std::uint64_t size);

    // Appends `bytes` in full at the end (or nothing: a failed write is cut
    // back) and brings them, and a new file's name, to stable storage.
    AppendStatus Append(std::string_view bytes);

    // Removes the file's name; the open file stays usable until closed.
    AppendStatus Remove();

    // Unlocks and closes.
    AppendStatus Close();

private:
    std::intptr_t handle_ = -1;
    bool created_ = false;
    bool locked_ = false;
    std::string path_;
};

// The last `count` bytes (fewer if the file is shorter) of the regular file
// at `path`, read without its lock and without waiting. Nothing there, or
// something other than a regular file (a device, a pipe), gives no bytes.
AppendStatus ReadFileTail(const std::string& path, std::size_t count, std::string& tail);

} // namespace vornix7
