#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vornix7 {

// The most of a page body that a poll keeps; the control reads the rest
// through and drops it, so a device streaming without end cannot grow the
// process.
inline constexpr std::int32_t kMaxPageBytes = 1'000'000;

// The internet transfer control that carries one HTTP GET at a time. The
// fetch drives it only through these four operations, so it can run against
// a scripted fake in tests.
class TransferControl {
public:
    virtual ~TransferControl() = default;

    // Stops any request in progress; harmless when none is.
    virtual void Cancel() = 0;

    // Starts the request and returns at once; the transfer goes on while the
    // caller sleeps and pumps events. A request still in progress is
    // cancelled first.
    virtual void Execute(const std::string& url, const std::string& operation) = 0;

    // True while the request is in progress.
    virtual bool StillExecuting() = 0;

    // After the request finished: up to `size` bytes of the response body,
    // unchanged, when the answer carries the page (a 2xx status, or no
    // status line at all); "" when the device answered with another status
    // (404, 401, 500, a redirect...), whose body is an error page.
    // std::nullopt when the request ended without a complete answer
    // (refused, unreachable, closed or reset before or during the answer):
    // such a poll is offline, while an answer without a page is not.
    virtual std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) = 0;
};

} // namespace vornix7
