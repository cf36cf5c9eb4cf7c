#include "connection.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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

int MillisecondsUntil(std::chrono::steady_clock::time_point until)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    return static_cast<int>(std::min<long long>(left.count(), 1'000'000'000));
}

IoResult WaitFor(int fd, short events, const StopSignal& stop, int timeoutMs)
{
    pollfd fds[2] = {{fd, events, 0}, {stop.Fd(), POLLIN, 0}};
    for (;;) {
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return IoResult::Failed;
        if (ready == 0)
            return IoResult::TimedOut;
        if (fds[1].revents != 0)
            return IoResult::Stopped;
        return IoResult::Ok; // readiness or error: the next call tells which
    }
}

Connection::Connection(int fd, const StopSignal& stop) : fd_(fd), stop_(stop)
{
    // Small pieces (trickle, chunks) must leave at once, not be coalesced.
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Connection::~Connection()
{
    Close();
}

void Connection::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

IoResult Connection::Receive(std::string& buffer, int timeoutMs)
{
    char chunk[65536];
    for (;;) {
        const ssize_t got = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            buffer.append(chunk, static_cast<std::size_t>(got));
            return IoResult::Ok;
        }
        if (got == 0)
            return IoResult::PeerClosed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return IoResult::Failed;
        if (const auto waited = WaitFor(fd_, POLLIN, stop_, timeoutMs); waited != IoResult::Ok)
            return waited;
    }
}

IoResult Connection::SendAll(std::string_view data)
{
    while (!data.empty()) {
        const ssize_t sent = send(fd_, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return IoResult::Failed;
        if (const auto waited = WaitFor(fd_, POLLOUT, stop_, kStallMs); waited != IoResult::Ok)
            return waited;
    }
    return IoResult::Ok;
}

bool Connection::Pause(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (int left = ms; left > 0; left = MillisecondsUntil(until)) {
        if (WaitFor(-1, 0, stop_, left) == IoResult::Stopped)
            return false;
    }
    return !stop_.Requested();
}

void Connection::Drain(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string discard;
    int left = timeoutMs;
    while (left != 0 && Receive(discard, left) == IoResult::Ok) {
        discard.clear();
        if (timeoutMs >= 0)
            left = std::max(0, MillisecondsUntil(until));
    }
}

void Connection::CloseGracefully()
{
    if (fd_ < 0)
        return;
    shutdown(fd_, SHUT_WR);
    Drain(kLingerMs);
    Close();
}

void Connection::CloseWithReset()
{
    if (fd_ < 0)
        return;
    const linger hard{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

} // namespace vornix7::sim
