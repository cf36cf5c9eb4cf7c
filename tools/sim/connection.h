#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "stop_signal.h"

namespace vornix7::sim {

// Milliseconds from now until `until`, rounded up and at most a billion, as
// a poll timeout; 0 or less once it has passed.
int MillisecondsUntil(std::chrono::steady_clock::time_point until);

enum class IoResult { Ok, PeerClosed, Failed, TimedOut, Stopped };

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

    // Discards whatever the client sends until it closes or a stop comes.
    void WaitForPeerClose();

    // FIN first, then read until the client closes (briefly): closing with
    // unread input would make the kernel send a reset and could destroy
    // the answer before the client reads it.
    void CloseGracefully();

    // SO_LINGER 0 makes close() send RST instead of FIN.
    void CloseWithReset();

    static constexpr int kStallMs = 30'000;
    static constexpr int kLingerMs = 2'000;

private:
    IoResult Wait(short events, int timeoutMs);
    void Close();

    int fd_;
    const StopSignal& stop_;
};

} // namespace vornix7::sim
