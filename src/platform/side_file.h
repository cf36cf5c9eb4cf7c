#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/log_append.h"

namespace vornix7 {

// The logger's own file beside a busy log, where lines wait until the log
// can be written again (also the file that lines which are not log lines
// are set aside in). Opened for reading and appending; other loggers may
// open, lock and remove it meanwhile, so whoever holds the lock checks that
// the file is still the one at its name before trusting what it reads.
// Each step calls the system once and never waits: the caller decides how
// long to wait for the lock, pumping window events in between.
//
// Anybody who may write in the log's folder may put something else at the
// name, so only a file the logger can trust is ever opened: a plain regular
// file with a single name, owned by the program's own user. A symbolic
// link (POSIX) or reparse point (Windows) is never followed, also not to
// create its target; a folder, a FIFO, a device or a file with a second
// hard link is refused. Open then fails with an error that says so
// (error_kind::kFileError), before anything is read, written or cut.
class SideFile {
public:
    SideFile() = default;
    ~SideFile();
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;

    // Opens the file at `path`, creating it when `create` is true and
    // nothing is there. `missing` is set when there is none and `create` is
    // false. An error marked busy means another program holds it (or, on
    // Windows, that it is being removed by another logger): try again
    // shortly.
    AppendStatus Open(const std::string& path, bool create, bool& missing);

    // Tries once to take the exclusive lock that other loggers honour;
    // `taken` is false while another holder has it.
    AppendStatus TryLock(bool& taken);

    // Whether the open file is still the one named `path`: false once
    // another logger has removed it (or put a new one in its place).
    AppendStatus StillAtPath(bool& same);

    // What tells this file from any other: the same value for the same file
    // while it exists.
    AppendStatus Identity(std::string& identity);

    AppendStatus Size(std::uint64_t& size);

    // Up to `count` bytes from `offset` (fewer only at the end).
    AppendStatus ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes);

    // Cuts the file to `size` bytes.
    AppendStatus CutTo(std::uint64_t size);

    // Appends `bytes` in full at the end (or nothing: a failed write is cut
    // back); with `flush`, brings them, and a new file's name, to stable
    // storage.
    AppendStatus Append(std::string_view bytes, bool flush = true);

    // Brings what was appended (and a new file's name) to stable storage.
    AppendStatus Flush();

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

} // namespace vornix7
