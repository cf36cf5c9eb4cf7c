#include "platform/standard_error.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/standard_output.h"

namespace vornix7 {

bool WriteStandardErrorWithoutWaiting(const std::string& text)
{
    // Ready for writing means a pipe has a free page and a socket room for
    // more: a short line then goes in one write without blocking. The
    // descriptor's own mode is shared with other processes (a terminal),
    // so it is not made non-blocking. A standard error closed at start-up
    // gets nothing: its number is /dev/null now.
    if (!WasGivenAtStartUp(STDERR_FILENO)) {
        return false;
    }
    pollfd ready{STDERR_FILENO, POLLOUT, 0};
    int polled = 0;
    do {
        polled = ::poll(&ready, 1, 0);
    } while (polled < 0 && errno == EINTR);
    if (polled != 1 || (ready.revents & POLLOUT) == 0 || (ready.revents & (POLLERR | POLLNVAL)) != 0) {
        return false;
    }
    ssize_t written = 0;
    do {
        written = ::write(STDERR_FILENO, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(text.size());
}

} // namespace vornix7
