#include "shell/thread_sleeper.h"

#include <chrono>
#include <thread>

namespace vornix7 {

void ThreadSleeper::Sleep(int milliseconds)
{
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

} // namespace vornix7
