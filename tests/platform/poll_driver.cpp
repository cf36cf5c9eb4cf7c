#include "poll_driver.h"

#include <thread>

namespace vornix7::test {

bool WaitWhileExecuting(CurlTransferControl& control, std::chrono::milliseconds limit,
                        const std::function<void()>& eachStep)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (eachStep)
            eachStep();
        if (!control.StillExecuting())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
}

PollResult PollOnce(CurlTransferControl& control, const std::string& url, std::chrono::milliseconds limit,
                    const std::function<void()>& eachStep)
{
    const auto start = std::chrono::steady_clock::now();
    PollResult result;
    control.Execute(url, "GET");
    result.finished = WaitWhileExecuting(control, limit, eachStep);
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (result.finished)
        result.body = control.GetChunk(1000000, 0);
    else
        control.Cancel();
    return result;
}

} // namespace vornix7::test
