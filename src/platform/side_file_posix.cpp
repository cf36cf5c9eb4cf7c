#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "common/runtime_error.h"

#include "platform/side_file.h"

namespace vornix7 {

namespace {

AppendError LastError()
{
    return AppendErrorFromSystem(static_cast<unsigned long>(errno));
}

int Fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

AppendError Refused(const std::string& why)
{
    return {error_kind::kFileError, why + ": refused, the logger uses only a plain file of its own there"};
}

// Whether the file open as `info` is one the logger can trust with its lines.
AppendStatus Trusted(const struct stat& info)
{
    if (S_ISDIR(info.st_mode)) {
        return Refused("a folder stands in its place");
    }
    if (!S_ISREG(info.st_mode)) {
        return Refused("it is not a regular file (a FIFO, a device or a socket)");
    }
    if (info.st_nlink != 1) {
        return Refused("the file has " + std::to_string(info.st_nlink) + " hard links");
    }
    if (info.st_uid != ::geteuid()) {
        return Refused("the file belongs to another user");
    }
    return std::nullopt;
}

// Makes a new file's name survive a power cut too.
void SyncFolderOf(const std::string& path)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

SideFile::~SideFile()
{
    (void)Close();
}

AppendStatus SideFile::Open(const std::string& path, bool create, bool& missing)
{
    // O_NOFOLLOW: a symbolic link at the name fails (ELOOP) instead of
    // leading elsewhere; O_EXCL: a new file is made only where nothing is,
    // so a dangling link never gets its target created. O_NONBLOCK: a FIFO
    // put in its place is refused below instead of waiting for a writer.
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW;
    path_ = path;
    missing = false;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        if (!create) {
            missing = true;
            return std::nullopt;
        }
        fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
        created_ = fd >= 0;
        if (fd < 0 && errno == EEXIST) {
            fd = ::open(path.c_str(), kFlags); // made meanwhile, or a dangling link
        }
    }
    if (fd < 0) {
        if (errno == ELOOP) {
            return Refused("a symbolic link stands in its place");
        }
        if (errno == EISDIR) {
            return Refused("a folder stands in its place");
        }
        return LastError();
    }
    handle_ = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return LastError();
    }
    return Trusted(info);
}

AppendStatus SideFile::TryLock(bool& taken)
{
    taken = true;
    if (::flock(Fd(handle_), LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
        return std::nullopt;
    }
    const int error = errno;
    if (error == EWOULDBLOCK || error == EINTR) {
        taken = false;
        return std::nullopt;
    }
    if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL) {
        return std::nullopt; // a file system without locks
    }
    return AppendErrorFromSystem(static_cast<unsigned long>(error));
}

AppendStatus SideFile::StillAtPath(bool& same)
{
    struct stat open {};
    if (::fstat(Fd(handle_), &open) != 0) {
        return LastError();
    }
    struct stat named {};
    if (::lstat(path_.c_str(), &named) != 0) {
        if (errno != ENOENT) {
            return LastError();
        }
        same = false;
        return std::nullopt;
    }
    same = open.st_nlink > 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
    return std::nullopt;
}

AppendStatus SideFile::Identity(std::string& identity)
{
    struct stat info {};
    if (::fstat(Fd(handle_), &info) != 0) {
        return LastError();
    }
    identity = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    return std::nullopt;
}

AppendStatus SideFile::Size(std::uint64_t& size)
{
    struct stat info {};
    if (::fstat(Fd(handle_), &info) != 0) {
        return LastError();
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return std::nullopt;
}

AppendStatus SideFile::ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes)
{
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t result =
            ::pread(Fd(handle_), bytes.data() + got, count - got, static_cast<off_t>(offset + got));
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result < 0) {
            bytes.clear();
            return LastError();
        }
        if (result == 0) {
            break;
        }
        got += static_cast<std::size_t>(result);
    }
    bytes.resize(got);
    return std::nullopt;
}

AppendStatus SideFile::CutTo(std::uint64_t size)
{
    if (::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Append(std::string_view bytes, bool flush)
{
    struct stat info {};
    if (::fstat(Fd(handle_), &info) != 0) {
        return LastError();
    }
    const auto before = static_cast<std::uint64_t>(info.st_size);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t result = ::write(Fd(handle_), bytes.data() + done, bytes.size() - done);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            const int error = result < 0 ? errno : ENOSPC;
            (void)CutTo(before); // only this process writes while the lock is held
            return AppendErrorFromSystem(static_cast<unsigned long>(error));
        }
        done += static_cast<std::size_t>(result);
    }
    return flush ? Flush() : std::nullopt;
}

AppendStatus SideFile::Flush()
{
    if (::fdatasync(Fd(handle_)) != 0) {
        return LastError();
    }
    if (created_) {
        SyncFolderOf(path_);
        created_ = false;
    }
    return std::nullopt;
}

AppendStatus SideFile::Remove()
{
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Close()
{
    const int fd = Fd(handle_);
    handle_ = -1;
    locked_ = false;
    if (fd >= 0 && ::close(fd) != 0) { // also drops the lock
        return LastError();
    }
    return std::nullopt;
}

} // namespace vornix7
