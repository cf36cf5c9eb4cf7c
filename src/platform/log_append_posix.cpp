#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "common/runtime_error.h"
#include "platform/log_append.h"

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
    default:
        break;
    }
    return {kind, std::strerror(error)};
}

int Fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
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

// Holds SIGPIPE back for one write to a pipe whose reader may have gone, so
// the write fails with EPIPE instead of the signal ending the program.
class SigpipeHeld {
public:
    SigpipeHeld()
    {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~SigpipeHeld()
    {
        if (!wasPending_) {
            const timespec now{};
            while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t pipe_{};
    sigset_t old_{};
    bool wasPending_ = false;
};

} // namespace

LogAppendFile::~LogAppendFile()
{
    if (handle_ >= 0) {
        ::close(Fd(handle_)); // also drops the lock
    }
}

AppendStatus LogAppendFile::Open(const std::string& path)
{
    // O_NONBLOCK: a FIFO without a reader fails with ENXIO instead of
    // waiting; regular files ignore it. The first try without O_CREAT tells
    // whether the file is new.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    path_ = path;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), kFlags | O_CREAT, 0644);
        created_ = fd >= 0;
    }
    if (fd < 0) {
        return ErrorFrom(errno);
    }
    handle_ = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return ErrorFrom(errno);
    }
    onDisk_ = S_ISREG(info.st_mode);
    return std::nullopt;
}

AppendStatus LogAppendFile::TryLock(bool& taken)
{
    taken = true;
    if (!onDisk_) {
        return std::nullopt;
    }
    // flock rather than fcntl: it also keeps apart two opens in one process,
    // and any close of another descriptor does not drop it.
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
    return ErrorFrom(error);
}

AppendStatus LogAppendFile::Size(std::uint64_t& size)
{
    struct stat info {};
    if (::fstat(Fd(handle_), &info) != 0) {
        return ErrorFrom(errno);
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return std::nullopt;
}

AppendStatus LogAppendFile::Write(std::string_view bytes, std::size_t& written)
{
    written = 0;
    ssize_t result = 0;
    if (onDisk_) {
        result = ::write(Fd(handle_), bytes.data(), bytes.size());
    } else {
        const SigpipeHeld held;
        result = ::write(Fd(handle_), bytes.data(), bytes.size());
    }
    if (result < 0) {
        const int error = errno;
        if (!onDisk_ && (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)) {
            return std::nullopt; // the pipe is full for now
        }
        return ErrorFrom(error);
    }
    written = static_cast<std::size_t>(result);
    if (onDisk_ && written < bytes.size()) {
        return ErrorFrom(ENOSPC); // a short write to a disk file means it filled up
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::TakeBack(std::uint64_t size, std::uint64_t added)
{
    std::uint64_t now = 0;
    if (auto error = Size(now)) {
        return error;
    }
    if (now == size + added && ::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) {
        return ErrorFrom(errno);
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Flush()
{
    if (!onDisk_) {
        return std::nullopt; // devices and pipes have no stable storage to reach
    }
    if (::fdatasync(Fd(handle_)) != 0) {
        return ErrorFrom(errno);
    }
    if (created_) {
        SyncFolderOf(path_);
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Close()
{
    const int fd = Fd(handle_);
    handle_ = -1;
    if (fd >= 0 && ::close(fd) != 0) {
        return ErrorFrom(errno);
    }
    return std::nullopt;
}

AppendError AppendErrorFromSystem(unsigned long code)
{
    return ErrorFrom(static_cast<int>(code));
}

} // namespace vornix7
