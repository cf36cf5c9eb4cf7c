#include "shell/thread_sleeper.h"

#include <QThread>

namespace vornix7 {

void ThreadSleeper::Sleep(int milliseconds)
{
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
}

} // namespace vornix7
