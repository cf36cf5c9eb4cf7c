// The loopback server, on POSIX sockets or on Winsock: the few calls that
// differ are in the shim below, the server itself is written once.
#include "loopback_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace vornix7::test {

namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;
constexpr short kReadable = POLLRDNORM;
constexpr short kWritable = POLLWRNORM;

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

NativeSocket OpenSocket()
{
    StartWinsock();
    const SOCKET fd = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (fd == INVALID_SOCKET)
        throw std::runtime_error("socket failed");
    return fd;
}

bool Accepted(NativeSocket listening, NativeSocket& fd)
{
    fd = ::accept(listening, nullptr, nullptr);
    return fd != INVALID_SOCKET;
}

void CloseSocket(NativeSocket fd)
{
    ::closesocket(fd);
}

int PollOne(NativeSocket fd, short events, int timeoutMs)
{
    WSAPOLLFD entry{};
    entry.fd = fd;
    entry.events = events;
    return ::WSAPoll(&entry, 1, timeoutMs);
}

// A failed step that only has to be tried again (never a wait).
bool TryAgain(bool polling)
{
    return !polling && ::WSAGetLastError() == WSAEWOULDBLOCK;
}

int SendSome(NativeSocket fd, std::string_view bytes)
{
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
    return ::send(fd, bytes.data(), chunk, 0);
}
#else
using NativeSocket = int;
using AddressLength = socklen_t;
constexpr short kReadable = POLLIN;
constexpr short kWritable = POLLOUT;

NativeSocket OpenSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    return fd;
}

bool Accepted(NativeSocket listening, NativeSocket& fd)
{
    fd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
    return fd >= 0;
}

void CloseSocket(NativeSocket fd)
{
    ::close(fd);
}

int PollOne(NativeSocket fd, short events, int timeoutMs)
{
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, timeoutMs);
}

// A failed step that only has to be tried again (a wait: only when a
// signal interrupted it).
bool TryAgain(bool polling)
{
    return errno == EINTR || (!polling && errno == EAGAIN);
}

ssize_t SendSome(NativeSocket fd, std::string_view bytes)
{
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}
#endif

NativeSocket Native(SocketHandle fd)
{
    return static_cast<NativeSocket>(fd);
}

// No test needs a single socket step to take longer than this.
constexpr int kStepTimeoutMs = 5000;

SocketHandle BindLoopback(std::uint16_t& port)
{
    const NativeSocket fd = OpenSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    AddressLength length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        CloseSocket(fd);
        throw std::runtime_error("bind to 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return static_cast<SocketHandle>(fd);
}

bool WaitFor(SocketHandle fd, short events, int timeoutMs)
{
    for (;;) {
        const int ready = PollOne(Native(fd), events, timeoutMs);
        if (ready < 0 && TryAgain(true))
            continue;
        return ready > 0;
    }
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(Script script) : script_(std::move(script))
{
    listenFd_ = BindLoopback(port_);
    if (::listen(Native(listenFd_), 16) != 0) {
        CloseSocket(Native(listenFd_));
        throw std::runtime_error("listen failed");
    }
    thread_ = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop_ = true;
    thread_.join();
    CloseSocket(Native(listenFd_));
}

void LoopbackHttpServer::Run()
{
    // Polls in short steps so the destructor's stop is seen quickly.
    while (!stop_) {
        if (!WaitFor(listenFd_, kReadable, 20))
            continue;
        NativeSocket fd{};
        if (!Accepted(Native(listenFd_), fd))
            continue;
        ++connections_;
        Serve(static_cast<SocketHandle>(fd));
        CloseSocket(fd);
    }
}

void LoopbackHttpServer::Serve(SocketHandle fd)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (stop_ || !WaitFor(fd, kReadable, kStepTimeoutMs))
            return;
        const auto got = ::recv(Native(fd), buffer, sizeof buffer, 0);
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
        if (!WaitFor(fd, kWritable, kStepTimeoutMs))
            return false;
        const auto sent = SendSome(Native(fd), bytes);
        if (sent < 0 && TryAgain(false))
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
    ::setsockopt(Native(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
                 sizeof abortive);
}

bool LoopbackHttpServer::WaitForClientClose(SocketHandle fd, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(fd, kReadable, static_cast<int>(left.count())))
            return false;
        const auto got = ::recv(Native(fd), buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && !TryAgain(false)))
            return true;
    }
}

std::uint16_t ClosedLoopbackPort()
{
    std::uint16_t port = 0;
    CloseSocket(Native(BindLoopback(port)));
    return port;
}

std::string LoopbackHttpServer::Url(std::string_view pathAndQuery) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::vector<std::string> LoopbackHttpServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string HttpResponse(int status, std::string_view reason, std::string_view body,
                         std::string_view extraHeaders)
{
    std::string response = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    response += extraHeaders;
    response += "\r\n";
    response += body;
    return response;
}

} // namespace vornix7::test
