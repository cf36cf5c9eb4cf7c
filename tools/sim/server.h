#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "connection.h"
#include "options.h"
#include "page.h"

namespace vornix7::sim {

// The simulated device: accepts on 127.0.0.1 and answers each connection on
// its own thread, so a held or trickling connection never blocks others.
class Server {
public:
    // `log` gets one line per request; null for none.
    Server(Options options, std::ostream* log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds 127.0.0.1 only (never any other address: the simulator must not
    // be reachable from the network). Returns the port; throws on failure.
    std::uint16_t Listen();

    // Serves until `stop` is requested or --max-seconds have passed since
    // the call (which then requests `stop`), and returns once every
    // connection has ended.
    void Run(const StopSignal& stop);

    // More concurrent clients than this are turned away at once: a bound
    // on threads if a test (or a bug) opens connections in a loop.
    static constexpr std::size_t kMaxConnections = 64;
    static constexpr int kHeadTimeoutMs = 30'000;
    static constexpr std::size_t kMaxHeadBytes = 64 * 1024;

private:
    void Serve(int fd, const StopSignal& stop);
    std::string NextPage();
    std::uint64_t CountRequest();
    void Log(const std::string& line);

    Options options_;
    std::ostream* log_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::mutex mutex_; // guards walk_, requests_, the count file and log_
    RandomWalk walk_;
    std::uint64_t requests_ = 0;
};

} // namespace vornix7::sim
