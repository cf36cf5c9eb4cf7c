#include "platform/tcp_close_probe.h"

#if defined(__linux__)
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

void TcpCloseProbe::Release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

#else

void TcpCloseProbe::Attach(std::intptr_t) {}

bool TcpCloseProbe::PeerClosedInOrder() const
{
    return true;
}

void TcpCloseProbe::Release() {}

#endif

} // namespace vornix7
