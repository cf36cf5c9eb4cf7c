#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>
#include <utility>

namespace vornix7 {

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
