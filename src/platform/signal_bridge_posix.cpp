#include "platform/signal_bridge.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <system_error>

namespace vornix7 {

namespace {

// The only state a signal handler can reach: the bridge's write end, or -1.
// A plain sig_atomic_t is what the language guarantees to be safe here.
volatile std::sig_atomic_t gWakeFd = -1;

extern "C" void WakeOnSignal(int /*signal*/)
{
    const int savedErrno = errno;
    const int fd = gWakeFd;
    if (fd >= 0) {
        const char byte = 1;
        // Non-blocking: if the socket is full, a wake-up is pending anyway.
        const ssize_t written = ::write(fd, &byte, 1);
        static_cast<void>(written);
    }
    errno = savedErrno;
}

[[noreturn]] void ThrowErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// The signals that end the program like Exit.
constexpr std::array<int, 3> kEndingSignals = {SIGTERM, SIGINT, SIGHUP};

} // namespace

struct SignalBridge::PreviousHandlers {
    std::array<struct sigaction, kEndingSignals.size()> actions{};
};

SignalBridge::SignalBridge(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    if (gWakeFd != -1) {
        throw std::logic_error("a signal bridge exists already");
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        ThrowErrno("socketpair for the signal bridge");
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    gWakeFd = writeFd_;

    struct sigaction action {};
    action.sa_handler = WakeOnSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted calls, so a signal never makes a log write or an
    // fsync fail with EINTR: the signal's effect waits for the event loop.
    action.sa_flags = SA_RESTART;
    previous_ = std::make_unique<PreviousHandlers>();
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        // Started under nohup, the program keeps ignoring SIGHUP, as asked.
        if (kEndingSignals[i] == SIGHUP && ::sigaction(SIGHUP, nullptr, &previous_->actions[i]) == 0
            && previous_->actions[i].sa_handler == SIG_IGN) {
            continue;
        }
        if (::sigaction(kEndingSignals[i], &action, &previous_->actions[i]) != 0) {
            const int error = errno;
            while (i-- > 0) {
                ::sigaction(kEndingSignals[i], &previous_->actions[i], nullptr);
            }
            gWakeFd = -1;
            ::close(readFd_);
            ::close(writeFd_);
            errno = error;
            ThrowErrno("sigaction for the signal bridge");
        }
    }

    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::OnReadable);
}

SignalBridge::~SignalBridge()
{
    // Handlers first, so no signal can write to a descriptor being closed.
    for (std::size_t i = kEndingSignals.size(); i-- > 0;) {
        ::sigaction(kEndingSignals[i], &previous_->actions[i], nullptr);
    }
    gWakeFd = -1;
    delete notifier_;
    ::close(readFd_);
    ::close(writeFd_);
}

void SignalBridge::OnReadable()
{
    // Several signals before one event pass mean the same: end once.
    char buffer[64];
    while (::read(readFd_, buffer, sizeof buffer) > 0) {
    }
    if (onSignal_) {
        onSignal_();
    }
}

} // namespace vornix7
