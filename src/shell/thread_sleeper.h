#pragma once

#include "platform/window_services.h"

namespace vornix7 {

// The fetch's pause between two steps: the GUI thread simply sleeps, since
// the fetch pumps events itself after every step.
class ThreadSleeper final : public Sleeper {
public:
    void Sleep(int milliseconds) override;
};

} // namespace vornix7
