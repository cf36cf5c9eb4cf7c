#include "platform/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/runtime_error.h"
#include "platform/system.h"

namespace vornix7 {

namespace {

SystemError LastError(int error = errno)
{
    return ErrorFromSystem(static_cast<unsigned long>(error));
}

// Makes a new file's directory entry survive a power cut too. The folder is
// the one the name finally resolves to, behind any symbolic link.
void SyncFolderOf(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    const std::filesystem::path parent = std::filesystem::path(real ? real.get() : path).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// One write(), or send() to a socket: MSG_DONTWAIT keeps a full socket from
// waiting without making the descriptor, which the program shares with
// whoever started it, non-blocking for them as well. Gives the byte count,
// or -errno.
long WriteOnce(int fd, bool socket, std::string_view bytes)
{
    const ssize_t result = socket ? ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                                  : ::write(fd, bytes.data(), bytes.size());
    return result < 0 ? -errno : static_cast<long>(result);
}

// The descriptor a path names when it names one of the program's own open
// descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N,
// /proc/PID/fd/N), or -1.
int OwnDescriptorNamed(std::string_view path)
{
    if (path == "/dev/stdout") {
        return 1;
    }
    if (path == "/dev/stderr") {
        return 2;
    }
    if (!path.starts_with("/dev/fd/") && !path.starts_with("/proc/")) {
        return -1; // a plain log's name, the usual case: no getpid() per append
    }
    const std::string ownProc = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view prefix :
         {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"), std::string_view(ownProc)}) {
        if (path.starts_with(prefix)) {
            const std::string_view digits = path.substr(prefix.size());
            if (digits.empty() || digits.size() > 9
                || digits.find_first_not_of("0123456789") != std::string_view::npos) {
                return -1;
            }
            return std::stoi(std::string(digits));
        }
    }
    return -1;
}

} // namespace

Result<bool> LockedFile::TryLock()
{
    // flock rather than fcntl: it also keeps apart two opens in one process,
    // and any close of another descriptor does not drop it.
    if (::flock(file_, LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
        return true;
    }
    const int error = errno;
    if (error == EWOULDBLOCK || error == EINTR) {
        return false;
    }
    if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL) {
        return true; // a file system without locks
    }
    return LastError(error);
}

Result<void> LockedFile::Unlock()
{
    if (!locked_) {
        return {};
    }
    locked_ = false;
    if (::flock(file_, LOCK_UN) != 0) {
        return LastError();
    }
    return {};
}

Result<std::uint64_t> LockedFile::Size()
{
    struct stat info {};
    if (::fstat(file_, &info) != 0) {
        return LastError();
    }
    return static_cast<std::uint64_t>(info.st_size);
}

Result<std::size_t> LockedFile::ReadOnce(std::uint64_t offset, char* into, std::size_t count)
{
    for (;;) {
        const ssize_t result = ::pread(file_, into, count, static_cast<off_t>(offset));
        if (result >= 0) {
            return static_cast<std::size_t>(result);
        }
        if (errno != EINTR) {
            return LastError();
        }
    }
}

Result<std::size_t> LockedFile::WriteAtEnd(std::string_view bytes)
{
    for (;;) {
        const long result = WriteOnce(file_, false, bytes);
        if (result > 0 || bytes.empty()) {
            return static_cast<std::size_t>(result < 0 ? 0 : result);
        }
        if (result != -EINTR) {
            return LastError(result < 0 ? static_cast<int>(-result) : ENOSPC);
        }
    }
}

Result<void> LockedFile::CutTo(std::uint64_t size)
{
    if (::ftruncate(file_, static_cast<off_t>(size)) != 0) {
        return LastError();
    }
    return {};
}

Result<void> LockedFile::Sync(const std::string& path, bool created)
{
    if (::fdatasync(file_) != 0) {
        return LastError();
    }
    if (created) {
        SyncFolderOf(path);
    }
    return {};
}

Result<void> LockedFile::Close()
{
    const int fd = file_;
    file_ = NoFile();
    locked_ = false;
    if (fd >= 0 && ::close(fd) != 0) { // also drops the lock
        return LastError();
    }
    return {};
}

Result<void> LogAppendFile::Open(const std::string& path)
{
    // O_NONBLOCK: a FIFO without a reader fails with ENXIO instead of
    // waiting; regular files ignore it. The first try without O_CREAT tells
    // whether the file is new.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    path_ = path;
    // A descriptor that was closed at start-up is /dev/null by now, or one
    // of the program's own files or sockets: never the log.
    if (const int own = OwnDescriptorNamed(path); own >= 0 && !WasGivenAtStartUp(own)) {
        return SystemError{LastError(EBADF).kind,
                           "descriptor " + std::to_string(own) + " was not open at start-up"};
    }
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), kFlags | O_CREAT, 0644);
        created_ = fd >= 0;
    }
    if (fd < 0 && errno == ENXIO) {
        // A socket cannot be opened by name, not even through /dev/stdout
        // (a service's standard output is often one: the journal). When
        // the path names one of the program's own descriptors, its lines
        // go to a duplicate of that descriptor.
        if (const int own = OwnDescriptorNamed(path); own >= 0) {
            fd = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
            if (fd < 0) {
                errno = ENXIO;
            }
        }
    }
    if (fd < 0) {
        return LastError();
    }
    file_.Adopt(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return LastError();
    }
    onDisk_ = S_ISREG(info.st_mode);
    socket_ = S_ISSOCK(info.st_mode);
    fifo_ = S_ISFIFO(info.st_mode);
    device_ = static_cast<std::uint64_t>(info.st_dev);
    inode_ = static_cast<std::uint64_t>(info.st_ino);
    return {};
}

Result<std::size_t> LogAppendFile::WriteToStream(std::string_view bytes)
{
    const long result = WriteOnce(file_.native(), socket_, bytes);
    if (result == -EAGAIN || result == -EWOULDBLOCK || result == -EINTR) {
        return std::size_t{0}; // the pipe is full for now
    }
    if (result < 0) {
        return LastError(static_cast<int>(-result));
    }
    return static_cast<std::size_t>(result);
}

Result<void> LogAppendFile::OpenReader()
{
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return LastError();
    }
    struct stat read {};
    if (::fstat(fd, &read) != 0 || static_cast<std::uint64_t>(read.st_dev) != device_
        || static_cast<std::uint64_t>(read.st_ino) != inode_) {
        ::close(fd);
        return SystemError{error_kind::kFileError, "the log was moved while it was open"};
    }
    reader_.Adopt(fd);
    return {};
}

Result<bool> SideFile::Open(const std::string& path, bool create)
{
    // O_NOFOLLOW: a symbolic link at the name fails (ELOOP) instead of
    // leading elsewhere; O_EXCL: a new file is made only where nothing is,
    // so a dangling link never gets its target created. O_NONBLOCK: a FIFO
    // put in its place is refused below instead of waiting for a writer.
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW;
    path_ = path;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        if (!create) {
            return false;
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
    file_.Adopt(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return LastError();
    }
    // Only a file the logger can trust with its lines.
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
    return true;
}

Result<bool> SideFile::StillAtPath()
{
    struct stat open {};
    if (::fstat(file_.native(), &open) != 0) {
        return LastError();
    }
    struct stat named {};
    if (::lstat(path_.c_str(), &named) != 0) {
        if (errno != ENOENT) {
            return LastError();
        }
        return false;
    }
    return open.st_nlink > 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

Result<std::string> SideFile::Identity()
{
    struct stat info {};
    if (::fstat(file_.native(), &info) != 0) {
        return LastError();
    }
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

Result<void> SideFile::Remove()
{
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        return LastError();
    }
    return {};
}

} // namespace vornix7
