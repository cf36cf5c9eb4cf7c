#pragma once

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

} // namespace vornix7::sim
