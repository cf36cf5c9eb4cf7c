#pragma once

#include <cstdint>

#include "acquisition/page_fetch.h"
#include "acquisition/poll_result.h"
#include "acquisition/window_services.h"
#include "config/settings.h"

namespace vornix7 {

// Counts the one-second ticks and polls the device every PollInterval of
// them, counted from the end of the previous poll.
class PollSchedule {
public:
    PollSchedule(const SettingsRecord& settings, PageFetcher& fetcher, PollResultStore& results,
                 WindowServices& window)
        : settings_(settings), fetcher_(fetcher), results_(results), window_(window)
    {
    }

    // Runs once per tick. A PollInterval of 1 or less polls on every tick.
    void PollTick();

private:
    const SettingsRecord& settings_;
    PageFetcher& fetcher_;
    PollResultStore& results_;
    WindowServices& window_;
    // Ticks since the last poll.
    std::int32_t TickCounter = 0;
};

} // namespace vornix7
