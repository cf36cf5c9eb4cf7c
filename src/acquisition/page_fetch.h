#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/transfer_control.h"
#include "acquisition/window_services.h"

namespace vornix7 {

// Status label texts shown around a fetch.
inline constexpr const char* kStatusDownloading = "Downloading...";
inline constexpr const char* kStatusOnline = "ONLINE";
inline constexpr const char* kStatusOffline = "OFFLINE";

// Gets the device page with one GET, waiting in short steps with window
// events pumped after each, so the window stays alive on one thread.
class PageFetcher {
public:
    // The wait limit is counted in steps, 50 per second of time-out; the
    // step's length is a parameter only so tests can run without real time.
    static constexpr std::int32_t kStepsPerSecond = 50;

    // timeoutSeconds × 50, or nothing when that does not fit 32 bits (the
    // first poll then throws "Overflow"); also vornix7-check's rule.
    static std::optional<std::int32_t> StepLimit(std::int32_t timeoutSeconds);

    // timeoutSeconds is HTMLTimeout, fixed for the run; its step limit is
    // counted here, once.
    PageFetcher(TransferControl& control, WindowServices& window, Sleeper& sleeper,
                std::int32_t timeoutSeconds, int stepMilliseconds = 20);

    // The page body, or empty text when the device did not answer within
    // timeoutSeconds (plus one step), gave no answer at all, or answered
    // with an error status. Shows
    // "Downloading...", then "ONLINE" or "OFFLINE". Throws RuntimeError
    // "Overflow" after the first step when timeoutSeconds × 50 does not fit
    // 32 bits.
    std::string FetchDevicePage(const std::string& url);

private:
    TransferControl& control_;
    WindowServices& window_;
    Sleeper& sleeper_;
    std::int32_t timeoutSeconds_;
    // timeoutSeconds × 50, or nothing when that overflows.
    std::optional<std::int32_t> stepLimit_;
    int stepMilliseconds_;
};

} // namespace vornix7
