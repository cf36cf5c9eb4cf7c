#include "log/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "common/runtime_error.h"

namespace vornix7 {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error)
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
    throw RuntimeError(kind, what + " log file '" + path + "': " + std::strerror(error));
}

// Makes the file's new directory entry survive a power cut too.
void SyncParentDirectory(const std::string& path)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const std::string directory = parent.empty() ? std::string(".") : parent.string();
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

class OpenFile {
public:
    explicit OpenFile(int fd) : fd_(fd) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

} // namespace

void LogFile::Append(std::string_view line)
{
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC;
    constexpr mode_t kMode = 0644;
    bool created = true;
    int fd = ::open(path_.c_str(), kFlags | O_CREAT | O_EXCL, kMode);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(path_.c_str(), kFlags);
    }
    if (fd < 0) {
        Fail("cannot open", path_, errno);
    }
    OpenFile file(fd);

    struct stat before {};
    if (::fstat(file.get(), &before) != 0) {
        Fail("cannot examine", path_, errno);
    }
    const ssize_t written = ::write(file.get(), line.data(), line.size());
    if (written != static_cast<ssize_t>(line.size())) {
        const int error = written < 0 ? errno : ENOSPC; // a short write means the disk filled
        if (written > 0) {
            // Take the partial line back off so the log never holds half a line.
            (void)::ftruncate(file.get(), before.st_size);
        }
        Fail("cannot write to", path_, error);
    }
    if (::fdatasync(file.get()) != 0) {
        Fail("cannot flush", path_, errno);
    }
    if (::close(file.release()) != 0) {
        Fail("cannot close", path_, errno);
    }
    if (created) {
        SyncParentDirectory(path_);
    }
}

} // namespace vornix7
