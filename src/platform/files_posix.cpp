#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <system_error>
#include <utility>

#include "common/runtime_error.h"

namespace vornix7 {

namespace {

// A file that is there but cannot be read.
SystemError Unreadable(std::string reason)
{
    return {error_kind::kFileError, std::move(reason)};
}

SystemError Unreadable(int error)
{
    return Unreadable(std::generic_category().message(error));
}

// An owned descriptor, closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The folder part of `path` with its slash, and the file's own name.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos
               ? std::pair<std::string, std::string>("", path)
               : std::pair<std::string, std::string>(path.substr(0, slash + 1), path.substr(slash + 1));
}

} // namespace

// No flock: the logger's appends take it, a reader never does. O_NONBLOCK:
// a FIFO with no writer must not hold the reader; a regular file ignores it.
Result<void> file_system_calls::ReadPieces(const std::filesystem::path& path, std::size_t limit,
                                           const std::function<void(std::string_view)>& piece)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return file_system_calls::Missing();
        }
        return Unreadable(error);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return Unreadable(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return Unreadable(EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return Unreadable("Not a regular file");
    }
    std::array<char, 1 << 16> buffer{};
    for (std::size_t handed = 0; handed < limit;) {
        const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Unreadable(errno);
        }
        if (n == 0) {
            break;
        }
        piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        handed += static_cast<std::size_t>(n);
    }
    return {};
}

AppendAccess AppendAccessAt(const std::string& path)
{
    if (path.empty()) {
        return AppendAccess::kFolderMissing; // opening "" fails as a missing file does
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return AppendAccess::kNotAFile;
        }
        return ::access(path.c_str(), W_OK) == 0 ? AppendAccess::kPossible : AppendAccess::kFileNotWritable;
    }
    if (errno == EACCES) {
        return AppendAccess::kFolderNotWritable; // a folder on the way cannot even be searched
    }
    std::string folder = SplitPath(path).first;
    folder = folder.empty() ? "." : folder;
    const bool folderFound = ::stat(folder.c_str(), &info) == 0;
    if (!folderFound && errno == EACCES) {
        return AppendAccess::kFolderNotWritable;
    }
    if (!folderFound || !S_ISDIR(info.st_mode)) {
        return AppendAccess::kFolderMissing;
    }
    // Creating a file needs write and search permission on its folder.
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? AppendAccess::kPossible
                                                      : AppendAccess::kFolderNotWritable;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0; // a link that leads nowhere is there too
}

extern const char kPathSeparator = '/';

std::filesystem::path ExecutableFolder()
{
    // The kernel's link is the executable's path with every link resolved.
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

extern const char kDefaultLogfileName[] = "logfile.txt";

namespace {

SystemError Problem(int error)
{
    return ErrorFromSystem(static_cast<unsigned long>(error));
}

// What stands at `path` and may not be replaced.
Result<void> Refusal(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? Result<void>() : Problem(errno);
    }
    if (S_ISLNK(info.st_mode) && ::stat(path.c_str(), &info) != 0) {
        return {}; // a dangling link: replaced
    }
    if (S_ISDIR(info.st_mode)) {
        return Problem(EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return SystemError{error_kind::kFileError, "Not a regular file"};
    }
    return {};
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

Result<StagedFile> StageNewFile(const std::string& path)
{
    if (path.empty() || path.back() == '/') {
        return Problem(EISDIR);
    }
    if (auto refused = Refusal(path); !refused.ok()) {
        return refused.error();
    }
    const auto [folder, leaf] = SplitPath(path);
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            folder + "." + leaf + "." + std::to_string(random() % 1000000000u) + ".tmp";
        // mkdir never follows a link: a name already there is refused.
        if (::mkdir(candidate.c_str(), 0700) == 0) {
            return StagedFile{candidate, candidate + "/" + leaf};
        }
        if (errno != EEXIST) {
            return Problem(errno);
        }
    }
    return Problem(EEXIST);
}

Result<void> PutStagedFileInPlace(const StagedFile& staged, const std::string& path)
{
    Result<void> done = Refusal(path);
    if (done.ok()) {
        const int fd = ::open(staged.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            done = Problem(errno);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (done.ok() && ::rename(staged.path.c_str(), path.c_str()) != 0) {
        done = Problem(errno);
    }
    DiscardStagedFile(staged);
    return done;
}

void DiscardStagedFile(const StagedFile& staged)
{
    ::unlink(staged.path.c_str());
    ::rmdir(staged.folder.c_str());
}

Result<void> file_system_calls::WriteNewFile(const std::string& path, std::string_view bytes)
{
    // O_EXCL: a new file, never one already there (nor through a link).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (!WriteAll(fd, bytes)) {
            error = errno;
        }
        if (::close(fd) != 0 && error == 0) {
            error = errno;
        }
    }
    return error != 0 ? Problem(error) : Result<void>();
}

} // namespace vornix7
