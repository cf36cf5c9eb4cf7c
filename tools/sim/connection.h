#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace vornix7::sim {

// A pipe that becomes readable once a stop is requested. Every wait in the
// server polls it beside its socket, so a stop ends even a connection that
// is held open or trickling. Request() is safe in a signal handler.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Request() const noexcept;
    bool Requested() const;
    int Fd() const { return readFd_; }

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

// Milliseconds from now until `until`, rounded up and at most a billion, as
// a poll timeout; 0 or less once it has passed.
int MillisecondsUntil(std::chrono::steady_clock::time_point until);

enum class IoResult { Ok, PeerClosed, Failed, TimedOut, Stopped };

// Waits until socket `fd` is ready for `events` (POLLIN, POLLOUT) or has an
// error (Ok), a stop is requested (Stopped) or `timeoutMs` pass (TimedOut;
// -1: no limit). A negative `fd` waits for the stop or the time only.
IoResult WaitFor(int fd, short events, const StopSignal& stop, int timeoutMs);

// One accepted client socket. All waits also watch the stop signal, so no
// connection can keep the simulator from shutting down.
class Connection {
public:
    // Takes ownership of `fd`.
    Connection(int fd, const StopSignal& stop);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Appends what arrives to `buffer`; waits at most `timeoutMs` (-1: no limit).
    IoResult Receive(std::string& buffer, int timeoutMs);

    // Gives up when the client has not taken a byte for kStallMs.
    IoResult SendAll(std::string_view data);

    // Sleeps; false when a stop was requested meanwhile.
    bool Pause(int ms);

    // Discards whatever the client sends until it closes, a stop comes or
    // `timeoutMs` pass (-1: no limit).
    void Drain(int timeoutMs = -1);

    // FIN first, then read until the client closes (briefly): closing with
    // unread input would make the kernel send a reset and could destroy
    // the answer before the client reads it.
    void CloseGracefully();

    // SO_LINGER 0 makes close() send RST instead of FIN.
    void CloseWithReset();

    static constexpr int kStallMs = 30'000;
    static constexpr int kLingerMs = 2'000;

private:
    void Close();

    int fd_;
    const StopSignal& stop_;
};

} // namespace vornix7::sim
