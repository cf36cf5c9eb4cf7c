#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vornix7 {

// Why one step of an append failed: one of the error kinds of
// common/runtime_error.h ("Path not found", "Disk full", ...) and the
// system's own words for the cause.
struct AppendError {
    const char* kind;
    std::string reason;
    // Another program holds the file (Windows: a sharing or lock
    // violation): it may be free again later, nothing is wrong with it.
    bool busy = false;
};
using AppendStatus = std::optional<AppendError>; // empty: the step worked

// The error of a failed system call as the log's appends report it; `code`
// is errno, or GetLastError() on Windows.
AppendError AppendErrorFromSystem(unsigned long code);

// The log file opened for one append, closed (and unlocked) when the object
// goes. Each step calls the system once and never waits: the caller decides
// how long to wait for the lock or for a full pipe, pumping window events in
// between. Only a file on disk is measured, cut back and flushed; a device
// or a pipe (/dev/null, NUL, a terminal, a reader's pipe) just takes the
// bytes. A file on disk, and on POSIX systems a FIFO or pipe, is locked.
// Flush alone may be called from another thread than the other steps.
class LogAppendFile {
public:
    LogAppendFile() = default;
    ~LogAppendFile();
    LogAppendFile(const LogAppendFile&) = delete;
    LogAppendFile& operator=(const LogAppendFile&) = delete;

    // Opens `path` for appending without blocking (a pipe nobody reads is an
    // error at once), creating a missing file, also at the end of a dangling
    // symbolic link. Other programs may go on reading, moving or deleting it.
    // On POSIX systems a path that names one of the program's own
    // descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N)
    // and cannot be opened by name, being a socket, is a duplicate of it.
    AppendStatus Open(const std::string& path);

    // True for a file on disk, false for a device or a pipe.
    bool onDisk() const { return onDisk_; }

    // Tries once to take the exclusive append lock that other loggers on the
    // same file honour; readers are never held up by it. `taken` is false
    // while another holder has it. A file system without locks, and a log
    // that is not locked (a device, a socket), counts as taken: there is
    // nobody to agree with.
    AppendStatus TryLock(bool& taken);

    // Lets go of the lock taken by TryLock, keeping the file open (for the
    // flush); harmless without it.
    AppendStatus Unlock();

    // The file's size in bytes.
    AppendStatus Size(std::uint64_t& size);

    // One write at the file's end. `written` is what went out: on a disk
    // file all of it or an error saying why the rest did not ("Disk full",
    // "File too large"); on a pipe it may be less, or 0 while the pipe is
    // full. A reader gone and the size limit are errors, not signals, once
    // the program has called IgnoreWriteSignals (platform/signals.h).
    AppendStatus Write(std::string_view bytes, std::size_t& written);

    // Up to `count` bytes of a file on disk from `offset` (fewer only at the
    // end), read through a second handle on the same file: the log is
    // opened for writing only, so that a FIFO without a reader still fails
    // at once. An error when the file cannot be read (no read permission,
    // or the name now leads to another file).
    AppendStatus ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes);

    // Cuts the file back to `size`, but only if it is now exactly `size` +
    // `added` bytes long, so that nothing but those bytes can go.
    AppendStatus TakeBack(std::uint64_t size, std::uint64_t added);

    // Brings the written bytes (and, for a new file, its name in the folder)
    // to stable storage.
    AppendStatus Flush();

    // Unlocks and closes; the close's own error is reported.
    AppendStatus Close();

private:
    std::intptr_t handle_ = -1; // the system's descriptor or handle
    std::intptr_t reader_ = -1; // for ReadAt, opened with its first call
    bool onDisk_ = false;
    bool created_ = false;
    bool locked_ = false;
    bool socket_ = false; // POSIX: written with send()
    bool fifo_ = false;   // POSIX: a pipe or FIFO, locked like a disk file
    std::string path_;
};

} // namespace vornix7
