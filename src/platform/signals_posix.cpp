#include "platform/signals.h"

#include <csignal>

namespace vornix7 {

void IgnoreWriteSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

} // namespace vornix7
