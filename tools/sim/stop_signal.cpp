#include "stop_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <stdexcept>

namespace vornix7::sim {

StopSignal::StopSignal()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create stop pipe");
    readFd_ = fds[0];
    writeFd_ = fds[1];
}

StopSignal::~StopSignal()
{
    close(readFd_);
    close(writeFd_);
}

void StopSignal::Request() const noexcept
{
    // The byte is never read, so the pipe stays readable for every waiter;
    // a full pipe (EAGAIN) means a stop was already requested.
    const char byte = 1;
    [[maybe_unused]] auto written = write(writeFd_, &byte, 1);
}

bool StopSignal::Requested() const
{
    pollfd p{readFd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

} // namespace vornix7::sim
