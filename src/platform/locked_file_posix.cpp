#include "platform/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/runtime_error.h"
#include "platform/system.h"

namespace vornix7 {

namespace {

AppendError ErrorFrom(int error)
{
    const char* kind = error_kind::kFileError;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        kind = error_kind::kPathNotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        kind = error_kind::kPermissionDenied;
        break;
    case ENOSPC:
    case EDQUOT:
        kind = error_kind::kDiskFull;
        break;
    case EFBIG:
        kind = error_kind::kFileTooLarge;
        break;
    default:
        break;
    }
    return {kind, std::strerror(error)};
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

LockedFile::~LockedFile()
{
    (void)Close();
}

void LockedFile::Adopt(NativeFile file)
{
    (void)Close();
    file_ = file;
}

AppendStatus LockedFile::TryLock(bool& taken)
{
    taken = true;
    // flock rather than fcntl: it also keeps apart two opens in one process,
    // and any close of another descriptor does not drop it.
    if (::flock(file_, LOCK_EX | LOCK_NB) == 0) {
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
    return ErrorFrom(error);
}

AppendStatus LockedFile::Unlock()
{
    if (!locked_) {
        return std::nullopt;
    }
    locked_ = false;
    if (::flock(file_, LOCK_UN) != 0) {
        return ErrorFrom(errno);
    }
    return std::nullopt;
}

AppendStatus LockedFile::Size(std::uint64_t& size)
{
    struct stat info {};
    if (::fstat(file_, &info) != 0) {
        return ErrorFrom(errno);
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return std::nullopt;
}

AppendStatus LockedFile::Close()
{
    const int fd = file_;
    file_ = NoFile();
    locked_ = false;
    if (fd >= 0 && ::close(fd) != 0) { // also drops the lock
        return ErrorFrom(errno);
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Open(const std::string& path)
{
    // O_NONBLOCK: a FIFO without a reader fails with ENXIO instead of
    // waiting; regular files ignore it. The first try without O_CREAT tells
    // whether the file is new.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    path_ = path;
    // A descriptor that was closed at start-up is /dev/null by now, or one
    // of the program's own files or sockets: never the log.
    if (const int own = OwnDescriptorNamed(path); own >= 0 && !WasGivenAtStartUp(own)) {
        return AppendError{ErrorFrom(EBADF).kind,
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
        return ErrorFrom(errno);
    }
    file_.Adopt(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return ErrorFrom(errno);
    }
    onDisk_ = S_ISREG(info.st_mode);
    socket_ = S_ISSOCK(info.st_mode);
    fifo_ = S_ISFIFO(info.st_mode);
    device_ = static_cast<std::uint64_t>(info.st_dev);
    inode_ = static_cast<std::uint64_t>(info.st_ino);
    return std::nullopt;
}

AppendStatus LogAppendFile::TryLock(bool& taken)
{
    taken = true;
    if (!onDisk_ && !fifo_) {
        return std::nullopt; // a device or a socket: not locked
    }
    return file_.TryLock(taken);
}

AppendStatus LogAppendFile::Write(std::string_view bytes, std::size_t& written)
{
    written = 0;
    if (!onDisk_) {
        const long result = WriteOnce(file_.native(), socket_, bytes);
        if (result == -EAGAIN || result == -EWOULDBLOCK || result == -EINTR) {
            return std::nullopt; // the pipe is full for now
        }
        if (result < 0) {
            return ErrorFrom(static_cast<int>(-result));
        }
        written = static_cast<std::size_t>(result);
        return std::nullopt;
    }
    // A short write to a disk file has a reason (a full disk, the size
    // limit); the next write of the rest reports it.
    while (written < bytes.size()) {
        const long result = WriteOnce(file_.native(), false, bytes.substr(written));
        if (result == -EINTR) {
            continue;
        }
        if (result < 0) {
            return ErrorFrom(static_cast<int>(-result));
        }
        if (result == 0) {
            return ErrorFrom(ENOSPC);
        }
        written += static_cast<std::size_t>(result);
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes)
{
    bytes.clear();
    if (!reader_.isOpen()) {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            return ErrorFrom(errno);
        }
        struct stat read {};
        if (::fstat(fd, &read) != 0 || static_cast<std::uint64_t>(read.st_dev) != device_
            || static_cast<std::uint64_t>(read.st_ino) != inode_) {
            ::close(fd);
            return AppendError{error_kind::kFileError, "the log was moved while it was open"};
        }
        reader_.Adopt(fd);
    }
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t result =
            ::pread(reader_.native(), bytes.data() + got, count - got, static_cast<off_t>(offset + got));
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result < 0) {
            const int error = errno;
            bytes.clear();
            return ErrorFrom(error);
        }
        if (result == 0) {
            break;
        }
        got += static_cast<std::size_t>(result);
    }
    bytes.resize(got);
    return std::nullopt;
}

AppendStatus LogAppendFile::TakeBack(std::uint64_t size, std::uint64_t added)
{
    std::uint64_t now = 0;
    if (auto error = Size(now)) {
        return error;
    }
    if (now == size + added && ::ftruncate(file_.native(), static_cast<off_t>(size)) != 0) {
        return ErrorFrom(errno);
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Flush()
{
    if (!onDisk_) {
        return std::nullopt; // devices and pipes have no stable storage to reach
    }
    if (::fdatasync(file_.native()) != 0) {
        return ErrorFrom(errno);
    }
    if (created_) {
        SyncFolderOf(path_);
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Close()
{
    (void)reader_.Close();
    return file_.Close();
}

AppendError AppendErrorFromSystem(unsigned long code)
{
    return ErrorFrom(static_cast<int>(code));
}

namespace {

AppendError LastError()
{
    return AppendErrorFromSystem(static_cast<unsigned long>(errno));
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

} // namespace

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
    file_.Adopt(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return LastError();
    }
    return Trusted(info);
}

AppendStatus SideFile::StillAtPath(bool& same)
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
        same = false;
        return std::nullopt;
    }
    same = open.st_nlink > 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
    return std::nullopt;
}

AppendStatus SideFile::Identity(std::string& identity)
{
    struct stat info {};
    if (::fstat(file_.native(), &info) != 0) {
        return LastError();
    }
    identity = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    return std::nullopt;
}

AppendStatus SideFile::ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes)
{
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t result =
            ::pread(file_.native(), bytes.data() + got, count - got, static_cast<off_t>(offset + got));
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
    if (::ftruncate(file_.native(), static_cast<off_t>(size)) != 0) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Append(std::string_view bytes, bool flush)
{
    struct stat info {};
    if (::fstat(file_.native(), &info) != 0) {
        return LastError();
    }
    const auto before = static_cast<std::uint64_t>(info.st_size);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t result = ::write(file_.native(), bytes.data() + done, bytes.size() - done);
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
    if (::fdatasync(file_.native()) != 0) {
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

} // namespace vornix7
