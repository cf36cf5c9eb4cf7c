#include "platform/signals.h"

#include <pthread.h>
#include <time.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <system_error>

namespace vornix7 {

void IgnoreWriteSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

namespace {

// Set by the handler when a signal reaches a thread that does not block it;
// the blocked ones wait in the process's pending set instead.
volatile std::sig_atomic_t gArrived = 0;
// Only one EndSignals at a time: the handler and the flag are process-wide.
bool gInstalled = false;

extern "C" void NoteEndSignal(int /*signal*/)
{
    gArrived = 1;
}

constexpr std::array<int, 3> kEndingSignals = {SIGTERM, SIGINT, SIGHUP};

[[noreturn]] void ThrowErrno(int error, const char* what)
{
    throw std::system_error(error, std::generic_category(), what);
}

} // namespace

struct EndSignals::Saved {
    sigset_t watched{};
    sigset_t oldMask{};
    std::array<struct sigaction, kEndingSignals.size()> oldActions{};
    std::array<bool, kEndingSignals.size()> replaced{};
};

EndSignals::EndSignals() : saved_(std::make_unique<Saved>())
{
    if (gInstalled) {
        throw std::logic_error("the end signals are watched already");
    }
    gArrived = 0;
    sigemptyset(&saved_->watched);
    struct sigaction action {};
    action.sa_handler = NoteEndSignal;
    sigemptyset(&action.sa_mask);
    // A blocking call interrupted by the handler (in another thread) goes on.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        const int signal = kEndingSignals[i];
        struct sigaction current {};
        // Started under nohup, the program keeps ignoring SIGHUP, as asked.
        if (signal == SIGHUP && ::sigaction(SIGHUP, nullptr, &current) == 0
            && current.sa_handler == SIG_IGN) {
            continue;
        }
        if (::sigaction(signal, &action, &saved_->oldActions[i]) != 0) {
            const int error = errno;
            while (i-- > 0) {
                if (saved_->replaced[i]) {
                    ::sigaction(kEndingSignals[i], &saved_->oldActions[i], nullptr);
                }
            }
            ThrowErrno(error, "sigaction for the end signals");
        }
        saved_->replaced[i] = true;
        sigaddset(&saved_->watched, signal);
    }
    // Blocked after the handler is in place, so none is lost in between.
    const int error = ::pthread_sigmask(SIG_BLOCK, &saved_->watched, &saved_->oldMask);
    if (error != 0) {
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            if (saved_->replaced[i]) {
                ::sigaction(kEndingSignals[i], &saved_->oldActions[i], nullptr);
            }
        }
        ThrowErrno(error, "pthread_sigmask for the end signals");
    }
    gInstalled = true;
}

EndSignals::~EndSignals()
{
    ::pthread_sigmask(SIG_SETMASK, &saved_->oldMask, nullptr);
    for (std::size_t i = kEndingSignals.size(); i-- > 0;) {
        if (saved_->replaced[i]) {
            ::sigaction(kEndingSignals[i], &saved_->oldActions[i], nullptr);
        }
    }
    gInstalled = false;
}

bool EndSignals::Arrived()
{
    return WaitFor(0);
}

bool EndSignals::WaitFor(int milliseconds)
{
    if (gArrived != 0) {
        return true;
    }
    const int wait = milliseconds > 0 ? milliseconds : 0;
    const timespec timeout{wait / 1000, static_cast<long>(wait % 1000) * 1000000L};
    // EAGAIN: the time passed; EINTR: another signal's handler ran, which
    // the caller's loop treats like an early return.
    return ::sigtimedwait(&saved_->watched, nullptr, &timeout) > 0 || gArrived != 0;
}

} // namespace vornix7
