#pragma once

#include <cstdint>

namespace vornix7 {

// Tells whether the device ended a connection in order (it sent all its
// data, then FIN) or reset it (its unsent data lost). Qt's socket reports
// both as RemoteHostClosedError, and only the first may end a body that has
// no length. The probe keeps a duplicate handle on the connection, so its
// state can still be read after Qt has closed its own handle at the end.
//
// Linux only (TCP_INFO); elsewhere the end is only seen when Qt reports it,
// and every end counts as in order.
class TcpCloseProbe {
public:
    enum class End { kNotYet, kInOrder, kReset };

    TcpCloseProbe() = default;
    ~TcpCloseProbe() { Release(); }
    TcpCloseProbe(const TcpCloseProbe&) = delete;
    TcpCloseProbe& operator=(const TcpCloseProbe&) = delete;

    // Watches the connection behind a connected socket's descriptor.
    void Attach(std::intptr_t socketDescriptor);
    // After the read side saw the end of the stream: true when that end was
    // the device's FIN, false when it was a reset (or cannot be read).
    bool PeerClosedInOrder() const;
    // Whether the device has ended the stream, without taking any byte:
    // for use once the socket's buffer is empty. Qt sees an end that came
    // with the last data only at its next read, one pump of the caller
    // later; this sees it at once.
    End PeekEnd() const;
    // Lets go of the connection; it closes once the socket's own handle is
    // closed too. Must come with every abort, or the connection would live on.
    void Release();

private:
    int fd_ = -1;
};

} // namespace vornix7
