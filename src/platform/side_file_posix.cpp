#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

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

// From `offset` to the end of the file open as `fd`.
AppendStatus ReadFrom(int fd, std::uint64_t offset, std::string& bytes)
{
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return LastError();
        }
        if (got == 0) {
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
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
    // O_NONBLOCK: a FIFO put in its place fails or is refused below
    // instead of waiting for a writer.
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    path_ = path;
    missing = false;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        if (!create) {
            missing = true;
            return std::nullopt;
        }
        fd = ::open(path.c_str(), kFlags | O_CREAT, 0644);
        created_ = fd >= 0;
    }
    if (fd < 0) {
        return LastError();
    }
    handle_ = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return LastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return AppendErrorFromSystem(EINVAL);
    }
    return std::nullopt;
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
    if (::stat(path_.c_str(), &named) != 0) {
        if (errno != ENOENT) {
            return LastError();
        }
        same = false;
        return std::nullopt;
    }
    same = open.st_nlink > 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
    return std::nullopt;
}

AppendStatus SideFile::ReadAll(std::string& bytes)
{
    return ReadFrom(Fd(handle_), 0, bytes);
}

AppendStatus SideFile::CutTo(std::uint64_t size)
{
    if (::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Append(std::string_view bytes)
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

AppendStatus ReadFileTail(const std::string& path, std::size_t count, std::string& tail)
{
    tail.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT ? std::nullopt : AppendStatus(LastError());
    }
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return LastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    return ReadFrom(fd, size > count ? size - count : 0, tail);
}

} // namespace vornix7
