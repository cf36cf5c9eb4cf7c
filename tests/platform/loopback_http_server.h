#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vornix7::test {

// A connected socket as the system names it: a descriptor on POSIX,
// Winsock's SOCKET on Windows.
#ifdef _WIN32
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif

// A scripted stand-in for the device: a plain socket server on its own
// thread, bound to 127.0.0.1 on a port the system picks. For each connection
// it reads the request head, records it, and lets the script answer on the
// raw socket, so a test can send anything from a clean response to a broken
// one. Every wait is bounded, so a misbehaving client cannot hang a test.
class LoopbackHttpServer {
public:
    // Answers one request on `fd`; the server closes the socket afterwards.
    using Script = std::function<void(SocketHandle fd, const std::string& requestHead)>;

    explicit LoopbackHttpServer(Script script);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Url(std::string_view pathAndQuery) const;

    // Request heads received so far, and connections accepted so far.
    std::vector<std::string> Requests() const;
    int Connections() const { return connections_.load(); }

    // Script helpers. SendAll gives up when the client stops reading or is
    // gone, and returns false then.
    static bool SendAll(SocketHandle fd, std::string_view bytes);
    // Makes the coming close send a reset instead of an orderly end.
    static void ResetOnClose(SocketHandle fd);
    // Reads and drops until the client closes or resets the connection;
    // false when it is still open after `timeoutMs`.
    static bool WaitForClientClose(SocketHandle fd, int timeoutMs);

private:
    void Run();
    void Serve(SocketHandle fd);

    Script script_;
    SocketHandle listenFd_{};
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A port on 127.0.0.1 that was bound and released again, so nothing listens
// on it: a connection there is refused.
std::uint16_t ClosedLoopbackPort();

// A plain answer with a Content-Length header.
std::string HttpResponse(int status, std::string_view reason, std::string_view body,
                         std::string_view extraHeaders = {});

} // namespace vornix7::test
