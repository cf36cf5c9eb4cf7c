// The loopback server on Winsock.
#include "loopback_http_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace vornix7::test {

namespace {

// No test needs a single socket step to take longer than this.
constexpr int kStepTimeoutMs = 5000;

// Winsock is started once for the test program and never stopped: the
// servers of several tests (and libcurl's own start) share it.
void StartWinsock()
{
    static const bool started = [] {
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
            throw std::runtime_error("WSAStartup failed");
        return true;
    }();
    (void)started;
}

SOCKET AsSocket(SocketHandle fd)
{
    return static_cast<SOCKET>(fd);
}

SocketHandle BindLoopback(std::uint16_t& port)
{
    StartWinsock();
    const SOCKET fd = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (fd == INVALID_SOCKET)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(fd);
        throw std::runtime_error("bind to 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return static_cast<SocketHandle>(fd);
}

bool WaitFor(SocketHandle fd, short events, int timeoutMs)
{
    WSAPOLLFD entry{};
    entry.fd = AsSocket(fd);
    entry.events = events;
    return ::WSAPoll(&entry, 1, timeoutMs) > 0;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(Script script) : script_(std::move(script))
{
    listenFd_ = BindLoopback(port_);
    if (::listen(AsSocket(listenFd_), 16) != 0) {
        ::closesocket(AsSocket(listenFd_));
        throw std::runtime_error("listen failed");
    }
    thread_ = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop_ = true;
    thread_.join();
    ::closesocket(AsSocket(listenFd_));
}

void LoopbackHttpServer::Run()
{
    // Polls in short steps so the destructor's stop is seen quickly.
    while (!stop_) {
        if (!WaitFor(listenFd_, POLLRDNORM, 20))
            continue;
        const SOCKET fd = ::accept(AsSocket(listenFd_), nullptr, nullptr);
        if (fd == INVALID_SOCKET)
            continue;
        ++connections_;
        Serve(static_cast<SocketHandle>(fd));
        ::closesocket(fd);
    }
}

void LoopbackHttpServer::Serve(SocketHandle fd)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (stop_ || !WaitFor(fd, POLLRDNORM, kStepTimeoutMs))
            return;
        const int got = ::recv(AsSocket(fd), buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(head);
    }
    script_(fd, head);
}

bool LoopbackHttpServer::SendAll(SocketHandle fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        if (!WaitFor(fd, POLLWRNORM, kStepTimeoutMs))
            return false;
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
        const int sent = ::send(AsSocket(fd), bytes.data(), chunk, 0);
        if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void LoopbackHttpServer::ResetOnClose(SocketHandle fd)
{
    const linger abortive{1, 0};
    ::setsockopt(AsSocket(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
                 sizeof abortive);
}

bool LoopbackHttpServer::WaitForClientClose(SocketHandle fd, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(fd, POLLRDNORM, static_cast<int>(left.count())))
            return false;
        const int got = ::recv(AsSocket(fd), buffer, sizeof buffer, 0);
        if (got == 0 || (got == SOCKET_ERROR && ::WSAGetLastError() != WSAEWOULDBLOCK))
            return true;
    }
}

std::uint16_t ClosedLoopbackPort()
{
    std::uint16_t port = 0;
    ::closesocket(AsSocket(BindLoopback(port)));
    return port;
}

} // namespace vornix7::test
