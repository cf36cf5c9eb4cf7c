#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <random>
#include <system_error>
#include <utility>

namespace vornix7 {

namespace {

FileBytes Unreadable(std::string reason)
{
    return FileBytes{FileBytes::Outcome::kUnreadable, {}, std::move(reason)};
}

FileBytes Unreadable(int error)
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

// The reading both whole and chunked reads do: the regular file at `path`
// from its start, each piece to `piece`, until its end or until `limit`
// bytes have been handed over (the last piece may go past it). No flock:
// the logger's appends take it, a reader never does. O_NONBLOCK: a FIFO
// with no writer must not hold the reader; a regular file ignores it.
FileBytes ReadPieces(const char* path, std::size_t limit, const std::function<void(std::string_view)>& piece)
{
    const Descriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return FileBytes{};
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
    return FileBytes{FileBytes::Outcome::kRead, {}, {}};
}

} // namespace

FileBytes ReadFileBytes(const std::string& path, std::size_t maxBytes)
{
    return ReadFileBytesAtSystemPath(path, maxBytes);
}

FileBytes ReadFileBytesAtSystemPath(const std::filesystem::path& path, std::size_t maxBytes)
{
    std::string bytes;
    FileBytes result =
        ReadPieces(path.c_str(), maxBytes, [&](std::string_view piece) { bytes.append(piece); });
    if (result.outcome == FileBytes::Outcome::kRead) {
        result.bytes = std::move(bytes);
        if (result.bytes.size() > maxBytes) {
            result.bytes.resize(maxBytes);
        }
    }
    return result;
}

FileBytes ReadFileInChunks(const std::string& path, const std::function<void(std::string_view)>& chunk)
{
    return ReadPieces(path.c_str(), static_cast<std::size_t>(-1), chunk);
}

namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

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
    const std::string folder = FolderOf(path);
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

std::string ExecutableDir()
{
    return ExecutableFolder().native();
}

extern const char kDefaultLogfileName[] = "logfile.txt";

namespace {

std::string Reason(int error)
{
    return std::generic_category().message(error);
}

// What stands at `path` and may not be replaced, or nothing.
std::optional<std::string> Refusal(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? std::nullopt : std::optional(Reason(errno));
    }
    if (S_ISLNK(info.st_mode) && ::stat(path.c_str(), &info) != 0) {
        return std::nullopt; // a dangling link: replaced
    }
    if (S_ISDIR(info.st_mode)) {
        return Reason(EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return std::string("Not a regular file");
    }
    return std::nullopt;
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

// The folder part of `path` with its slash, and the file's own name.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos
               ? std::pair<std::string, std::string>("", path)
               : std::pair<std::string, std::string>(path.substr(0, slash + 1), path.substr(slash + 1));
}

} // namespace

std::optional<std::string> StageNewFile(const std::string& path, StagedFile& staged)
{
    if (path.empty() || path.back() == '/') {
        return Reason(EISDIR);
    }
    if (auto refused = Refusal(path)) {
        return refused;
    }
    const auto [folder, leaf] = SplitPath(path);
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            folder + "." + leaf + "." + std::to_string(random() % 1000000000u) + ".tmp";
        // mkdir never follows a link: a name already there is refused.
        if (::mkdir(candidate.c_str(), 0700) == 0) {
            staged = {candidate, candidate + "/" + leaf};
            return std::nullopt;
        }
        if (errno != EEXIST) {
            return Reason(errno);
        }
    }
    return Reason(EEXIST);
}

std::optional<std::string> PutStagedFileInPlace(const StagedFile& staged, const std::string& path)
{
    std::optional<std::string> problem = Refusal(path);
    if (!problem) {
        const int fd = ::open(staged.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            problem = Reason(errno);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (!problem && ::rename(staged.path.c_str(), path.c_str()) != 0) {
        problem = Reason(errno);
    }
    DiscardStagedFile(staged);
    return problem;
}

void DiscardStagedFile(const StagedFile& staged)
{
    ::unlink(staged.path.c_str());
    ::rmdir(staged.folder.c_str());
}

std::optional<std::string> ReplaceFileWith(const std::string& path, std::string_view bytes)
{
    StagedFile staged;
    if (auto problem = StageNewFile(path, staged)) {
        return problem;
    }
    // O_EXCL in a folder of our own: nothing but our new file is written.
    const int fd = ::open(staged.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (!WriteAll(fd, bytes)) {
            error = errno;
        }
        if (::close(fd) != 0 && error == 0) {
            error = errno;
        }
    }
    if (error != 0) {
        DiscardStagedFile(staged);
        return Reason(error);
    }
    return PutStagedFileInPlace(staged, path);
}

} // namespace vornix7
