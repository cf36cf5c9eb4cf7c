#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "e2e_timing.h"

namespace vornix7::e2e {

// vornix7-sim running on 127.0.0.1 for one test. Its files (output, request
// count, mode control) are named after `name` inside `dir`, so a test can
// run several devices side by side.
class SimProcess {
public:
    // Starts the device with `args` and waits until it listens. `port` 0
    // picks a free one. Throws if it does not come up, e.g. when `port` is
    // still taken.
    SimProcess(const std::string& dir, const std::vector<std::string>& args, int port = 0,
               const std::string& name = "sim");

    int port() const { return port_; }
    // The page's URL: always on 127.0.0.1.
    std::string url() const;

    // Requests counted so far (the device writes the count before it
    // answers).
    int Requests() const;
    // Waits until at least `count` requests came; false on time-out.
    bool WaitForRequests(int count, Millis timeout) const;

    // Changes how the device answers from its next request on.
    void SetMode(const std::string& mode);

    // SIGTERM, then waits for the end; the port is free afterwards.
    void Stop();

private:
    std::string countFile_;
    std::string controlFile_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// A port on 127.0.0.1 that refuses connections: bound, so no other program
// can take it while the object lives, but never listening.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int port() const { return port_; }
    std::string url() const;

private:
    int fd_ = -1;
    int port_ = 0;
};

// A test row's device: vornix7-sim started with `args` in `dir`, or, for
// empty `args`, nobody listening at all (a RefusingPort).
class DeviceOrNobody {
public:
    DeviceOrNobody(const std::string& dir, const std::vector<std::string>& args);

    std::string url() const { return device_ ? device_->url() : nobody_->url(); }
    // The device; null when nobody listens.
    const SimProcess* device() const { return device_ ? &*device_ : nullptr; }

private:
    std::optional<SimProcess> device_;
    std::optional<RefusingPort> nobody_;
};

// The body of one plain GET of "/" on 127.0.0.1:port, read with a socket of
// our own so the bytes do not pass through the code under test.
std::string HttpGetBody(int port);

} // namespace vornix7::e2e
