#pragma once

#include "platform/curl_transfer_control.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace vornix7::test {

struct PollResult {
    bool finished = false; // false: gave up at the time limit and cancelled
    std::optional<std::string> body;
    std::chrono::milliseconds elapsed{0};
};

// The logger's wait: sleep 20 ms, ask StillExecuting, until it ends (true)
// or the limit passes (false, nothing cancelled). `eachStep` runs after
// every step, for checks while the transfer goes on.
bool WaitWhileExecuting(CurlTransferControl& control, std::chrono::milliseconds limit,
                        const std::function<void()>& eachStep = {});

// Drives the control the way the logger does: Execute, then sleep
// 20 ms and ask StillExecuting until it ends or the limit passes; then
// GetChunk, or Cancel when too late.
PollResult PollOnce(CurlTransferControl& control, const std::string& url,
                    std::chrono::milliseconds limit = std::chrono::seconds(5),
                    const std::function<void()>& eachStep = {});

} // namespace vornix7::test
