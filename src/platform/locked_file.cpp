#include "platform/locked_file.h"

// What the locked files do alike on every system; the system calls
// themselves are in locked_file_posix.cpp and locked_file_windows.cpp.

#include "common/runtime_error.h"

namespace vornix7 {

LockedFile::~LockedFile()
{
    (void)Close();
}

void LockedFile::Adopt(NativeFile file)
{
    (void)Close();
    file_ = file;
}

Result<std::string> LockedFile::ReadAt(std::uint64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        auto read = ReadOnce(offset + got, bytes.data() + got, count - got);
        if (!read.ok()) {
            return read.error();
        }
        if (*read == 0) {
            break;
        }
        got += *read;
    }
    bytes.resize(got);
    return bytes;
}

Result<bool> LogAppendFile::TryLock()
{
    if (!onDisk_ && !fifo_) {
        return true; // a device or a socket (Windows: also a pipe): not locked
    }
    return file_.TryLock();
}

Result<std::size_t> LogAppendFile::Write(std::string_view bytes)
{
    if (!onDisk_) {
        auto wrote = WriteToStream(bytes);
        written_ += wrote.ok() ? *wrote : 0;
        return wrote;
    }
    // A short write to a disk file has a reason (a full disk, the size
    // limit); the next write of the rest reports it.
    for (std::size_t done = 0; done < bytes.size();) {
        auto wrote = file_.WriteAtEnd(bytes.substr(done));
        if (!wrote.ok()) {
            return wrote.error();
        }
        done += *wrote;
        written_ += *wrote;
    }
    return bytes.size();
}

Result<std::string> LogAppendFile::ReadAt(std::uint64_t offset, std::size_t count)
{
    if (!reader_.isOpen()) {
        if (auto opened = OpenReader(); !opened.ok()) {
            return opened.error();
        }
    }
    return reader_.ReadAt(offset, count);
}

Result<void> LogAppendFile::TakeBack(std::uint64_t size, std::uint64_t added)
{
    const auto now = Size();
    if (!now.ok()) {
        return now.error();
    }
    if (*now != size + added) {
        return {};
    }
    return file_.CutTo(size);
}

Result<void> LogAppendFile::Flush()
{
    if (!onDisk_) {
        return {}; // devices and pipes have no stable storage to reach
    }
    return file_.Sync(path_, created_);
}

Result<void> LogAppendFile::Close()
{
    (void)reader_.Close();
    return file_.Close();
}

Result<void> SideFile::Append(std::string_view bytes, bool flush)
{
    const auto before = Size();
    if (!before.ok()) {
        return before.error();
    }
    for (std::size_t done = 0; done < bytes.size();) {
        auto wrote = file_.WriteAtEnd(bytes.substr(done));
        if (!wrote.ok()) {
            (void)file_.CutTo(*before); // only this process writes while the lock is held
            return wrote.error();
        }
        done += *wrote;
    }
    return flush ? Flush() : Result<void>();
}

SystemError SideFile::Refused(const std::string& why)
{
    return {error_kind::kFileError, why + ": refused, the logger uses only a plain file of its own there"};
}

Result<void> SideFile::Flush()
{
    auto synced = file_.Sync(path_, created_);
    if (synced.ok()) {
        created_ = false; // its name is on stable storage now
    }
    return synced;
}

} // namespace vornix7
