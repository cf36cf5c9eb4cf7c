#include "platform/tcp_close_probe.h"

#if defined(__linux__)
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vornix7 {

#if defined(__linux__)

void TcpCloseProbe::Attach(std::intptr_t socketDescriptor)
{
    Release();
    if (socketDescriptor >= 0)
        fd_ = ::fcntl(static_cast<int>(socketDescriptor), F_DUPFD_CLOEXEC, 0);
}

bool TcpCloseProbe::PeerClosedInOrder() const
{
    if (fd_ < 0)
        return false;
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return false;
    // This side has not closed (the probe's handle keeps it open), so a FIN
    // from the device leaves CLOSE_WAIT; a reset leaves CLOSE.
    return info.tcpi_state == TCP_CLOSE_WAIT;
}

TcpCloseProbe::End TcpCloseProbe::PeekEnd() const
{
    if (fd_ < 0)
        return End::kNotYet;
    char byte = 0;
    const ssize_t got = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0 || (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)))
        return End::kNotYet; // more data, or nothing yet
    if (got == 0)
        return PeerClosedInOrder() ? End::kInOrder : End::kReset;
    return End::kReset;
}

void TcpCloseProbe::Release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

#else

void TcpCloseProbe::Attach(std::intptr_t) {}

TcpCloseProbe::End TcpCloseProbe::PeekEnd() const
{
    return End::kNotYet;
}

bool TcpCloseProbe::PeerClosedInOrder() const
{
    return true;
}

void TcpCloseProbe::Release() {}

#endif

} // namespace vornix7
