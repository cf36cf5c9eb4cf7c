#include "acquisition/page_fetch.h"

#include <limits>
#include <optional>

#include "common/runtime_error.h"

namespace vornix7 {

std::optional<std::int32_t> PageFetcher::StepLimit(std::int32_t timeoutSeconds)
{
    const std::int64_t steps = std::int64_t{timeoutSeconds} * kStepsPerSecond;
    if (steps < std::numeric_limits<std::int32_t>::min() || steps > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(steps);
}

PageFetcher::PageFetcher(TransferControl& control, WindowServices& window, Sleeper& sleeper,
                         std::int32_t timeoutSeconds, int stepMilliseconds)
    : control_(control), window_(window), sleeper_(sleeper), timeoutSeconds_(timeoutSeconds),
      stepLimit_(StepLimit(timeoutSeconds)), stepMilliseconds_(stepMilliseconds)
{
}

std::string PageFetcher::FetchDevicePage(const std::string& url)
{
    window_.SetStatus(kStatusDownloading);
    window_.PumpEvents();
    // Execute ends any request still running first, so no Cancel is
    // needed here. The control sends the request within Execute, so a
    // device that answers at once is seen after the first step.
    control_.Execute(url, "GET");

    // Always at least one step; the limit is checked after each step, so a
    // late device is given up after timeoutSeconds × 50 + 1 steps.
    std::int32_t steps = 0;
    bool running = true;
    bool withinLimit = true;
    do {
        sleeper_.Sleep(stepMilliseconds_);
        ++steps;
        window_.PumpEvents();
        running = control_.StillExecuting();
        // Checked even when the device has answered, so a time-out too
        // large to count overflows at the first poll, not weeks later at
        // the first slow one.
        if (!stepLimit_) {
            throw RuntimeError(error_kind::kOverflow,
                               "HTMLTimeout " + std::to_string(timeoutSeconds_)
                                   + " is too large: the wait in 20 ms steps does not fit a 32-bit integer");
        }
        withinLimit = steps <= *stepLimit_;
    } while (running && withinLimit);

    // A request that ended without any answer (refused, unreachable,
    // closed) is offline like a late one, not a device that answered.
    std::optional<std::string> body;
    if (control_.StillExecuting()) {
        control_.Cancel();
    } else {
        body = control_.GetChunk(kMaxPageBytes, 0);
    }
    window_.SetStatus(body ? kStatusOnline : kStatusOffline);
    window_.PumpEvents();
    return body ? std::move(*body) : std::string();
}

} // namespace vornix7
