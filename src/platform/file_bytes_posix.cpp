#include "platform/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vornix7 {

namespace {

FileBytes Unreadable(int error)
{
    return FileBytes{FileBytes::Outcome::kUnreadable, {}, std::generic_category().message(error)};
}

} // namespace

FileBytes ReadFileBytes(const std::string& path, std::size_t maxBytes)
{
    return ReadFileBytesAtSystemPath(path, maxBytes);
}

FileBytes ReadFileBytesAtSystemPath(const std::filesystem::path& path, std::size_t maxBytes)
{
    // O_NONBLOCK: opening a FIFO with no writer must not wait for one; a
    // regular file ignores the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return FileBytes{};
        }
        return Unreadable(error);
    }
    FileBytes result;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        result = Unreadable(errno);
    } else if (S_ISDIR(info.st_mode)) {
        result = Unreadable(EISDIR);
    } else if (!S_ISREG(info.st_mode)) {
        result = FileBytes{FileBytes::Outcome::kUnreadable, {}, "Not a regular file"};
    } else {
        result.outcome = FileBytes::Outcome::kRead;
        char buffer[65536];
        while (result.bytes.size() < maxBytes) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                result = Unreadable(errno);
                break;
            }
            if (n == 0) {
                break;
            }
            result.bytes.append(buffer, static_cast<std::size_t>(n));
        }
        if (result.bytes.size() > maxBytes) {
            result.bytes.resize(maxBytes);
        }
    }
    ::close(fd);
    return result;
}

} // namespace vornix7
