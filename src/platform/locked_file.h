#pragma once

// Files held under an exclusive lock: the log while a line is appended, and
// the side file where lines wait while the log is busy.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"

namespace vornix7 {

// The system's own kind of open file: a descriptor on POSIX systems, a
// HANDLE on Windows (kept as void* here, so that no system header is
// needed to hold one).
#ifdef _WIN32
using NativeFile = void*;
inline NativeFile NoFile()
{
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(-1)); // INVALID_HANDLE_VALUE
}
#else
using NativeFile = int;
inline NativeFile NoFile()
{
    return -1;
}
#endif

// An open file the program owns, closed when the object goes, and the
// exclusive lock that loggers take on it: the log's appends and the side
// file lock, unlock, measure and close alike. The lock never keeps readers
// out (on Windows it is one byte far beyond any file's end).
class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Takes `file` (which must be open) as its own, closing the one it had.
    void Adopt(NativeFile file);
    bool isOpen() const { return file_ != NoFile(); }
    NativeFile native() const { return file_; }

    // Tries once to take the exclusive lock: false while another holder
    // has it. A file system without locks counts as taken: there is nobody
    // to agree with.
    Result<bool> TryLock();

    // Lets go of the lock; harmless without it.
    Result<void> Unlock();

    // The file's size in bytes.
    Result<std::uint64_t> Size();

    // Up to `count` bytes from `offset` (fewer only at the end).
    Result<std::string> ReadAt(std::uint64_t offset, std::size_t count);

    // One write at the file's end (a disk file's): what went out, never 0
    // for some bytes (a write that takes none is "Disk full").
    Result<std::size_t> WriteAtEnd(std::string_view bytes);

    // Cuts the file to `size` bytes.
    Result<void> CutTo(std::uint64_t size);

    // Brings the written bytes to stable storage; with `created`, also the
    // name of the new file at `path` in its folder.
    Result<void> Sync(const std::string& path, bool created);

    // Unlocks and closes; the close's own error is reported.
    Result<void> Close();

private:
    // One read from `offset`: 0 at the end.
    Result<std::size_t> ReadOnce(std::uint64_t offset, char* into, std::size_t count);

    NativeFile file_ = NoFile();
    bool locked_ = false;
};

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
    LogAppendFile(const LogAppendFile&) = delete;
    LogAppendFile& operator=(const LogAppendFile&) = delete;

    // Opens `path` for appending without blocking (a pipe nobody reads is an
    // error at once), creating a missing file, also at the end of a dangling
    // symbolic link. Other programs may go on reading, moving or deleting it.
    // On POSIX systems a path that names one of the program's own
    // descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N)
    // and cannot be opened by name, being a socket, is a duplicate of it.
    Result<void> Open(const std::string& path);

    // True for a file on disk, false for a device or a pipe.
    bool onDisk() const { return onDisk_; }

    // Tries once to take the exclusive append lock that other loggers on the
    // same file honour; readers are never held up by it: false while
    // another holder has it. A file system without locks, and a log that is
    // not locked (a device, a socket), counts as taken: there is nobody to
    // agree with.
    Result<bool> TryLock();

    // Lets go of the lock taken by TryLock, keeping the file open (for the
    // flush); harmless without it.
    Result<void> Unlock() { return file_.Unlock(); }

    // The file's size in bytes.
    Result<std::uint64_t> Size() { return file_.Size(); }

    // Writes at the file's end, giving what went out: on a disk file all of
    // it or an error saying why the rest did not ("Disk full", "File too
    // large"); on a pipe it may be less, or 0 while the pipe is full. A
    // reader gone and the size limit are errors, not signals, once the
    // program has called IgnoreWriteSignals (platform/signals.h).
    Result<std::size_t> Write(std::string_view bytes);

    // The bytes written since Open, also those of a write that then failed.
    std::uint64_t written() const { return written_; }

    // Up to `count` bytes of a file on disk from `offset` (fewer only at the
    // end), read through a second handle on the same file: the log is
    // opened for writing only, so that a FIFO without a reader still fails
    // at once. An error when the file cannot be read (no read permission,
    // or the name now leads to another file).
    Result<std::string> ReadAt(std::uint64_t offset, std::size_t count);

    // Cuts the file back to `size`, but only if it is now exactly `size` +
    // `added` bytes long, so that nothing but those bytes can go.
    Result<void> TakeBack(std::uint64_t size, std::uint64_t added);

    // Brings the written bytes (and, for a new file, its name in the folder)
    // to stable storage.
    Result<void> Flush();

    // Unlocks and closes; the close's own error is reported.
    Result<void> Close();

private:
    // One write to a device or a pipe: 0 while it is full.
    Result<std::size_t> WriteToStream(std::string_view bytes);
    // Opens reader_ on the file that is open for writing.
    Result<void> OpenReader();

    LockedFile file_;
    LockedFile reader_; // for ReadAt, opened with its first call; never locked
    bool onDisk_ = false;
    bool created_ = false;
    std::uint64_t written_ = 0;
    bool socket_ = false; // POSIX: written with send()
    bool fifo_ = false;   // POSIX: a pipe or FIFO, locked like a disk file
    // POSIX: the open file's device and inode, from Open, for ReadAt's check
    // that the name still leads to it.
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    std::string path_;
};

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
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;

    // Opens the file at `path`, creating it when `create` is true and
    // nothing is there: false when there is none and `create` is false. An
    // error marked busy means another program holds it (or, on Windows,
    // that it is being removed by another logger): try again shortly.
    Result<bool> Open(const std::string& path, bool create);

    // Tries once to take the exclusive lock that other loggers honour:
    // false while another holder has it.
    Result<bool> TryLock() { return file_.TryLock(); }

    // Whether the open file is still the one named `path`: false once
    // another logger has removed it (or put a new one in its place).
    Result<bool> StillAtPath();

    // What tells this file from any other: the same value for the same file
    // while it exists.
    Result<std::string> Identity();

    Result<std::uint64_t> Size() { return file_.Size(); }

    // Up to `count` bytes from `offset` (fewer only at the end).
    Result<std::string> ReadAt(std::uint64_t offset, std::size_t count)
    {
        return file_.ReadAt(offset, count);
    }

    // Appends `bytes` in full at the end (or nothing: a failed write is cut
    // back); with `flush`, brings them, and a new file's name, to stable
    // storage.
    Result<void> Append(std::string_view bytes, bool flush = true);

    // Brings what was appended (and a new file's name) to stable storage.
    Result<void> Flush();

    // Removes the file's name; the open file stays usable until closed.
    Result<void> Remove();

    // Unlocks and closes.
    Result<void> Close() { return file_.Close(); }

private:
    // The error of a file refused for `why` (each system's Open).
    static SystemError Refused(const std::string& why);

    LockedFile file_;
    bool created_ = false;
    std::string path_;
};

} // namespace vornix7
