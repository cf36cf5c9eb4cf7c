#include "platform/file_chunks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace vornix7 {

namespace {

FileBytes Unreadable(std::string reason)
{
    return FileBytes{FileBytes::Outcome::kUnreadable, {}, std::move(reason)};
}

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

} // namespace

FileBytes ReadFileInChunks(const std::string& path, const std::function<void(std::string_view)>& chunk)
{
    // No flock: the logger's appends take it, a reader never does. O_NONBLOCK:
    // a FIFO with no writer must not hold the reader.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return FileBytes{};
        }
        return Unreadable(std::generic_category().message(error));
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return Unreadable(std::generic_category().message(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return Unreadable(std::generic_category().message(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
        return Unreadable("Not a regular file");
    }
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Unreadable(std::generic_category().message(errno));
        }
        if (n == 0) {
            return FileBytes{FileBytes::Outcome::kRead, {}, {}};
        }
        chunk(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
}

} // namespace vornix7
