#include "acquisition/poll_schedule.h"

#include <string>

namespace vornix7 {

void PollSchedule::PollTick()
{
    ++TickCounter;
    if (TickCounter < settings_.PollInterval) {
        return;
    }
    TickCounter = 0;
    const std::string page = fetcher_.FetchDevicePage(settings_.URL);
    results_.StorePollResult(page);
    window_.PumpEvents();
}

} // namespace vornix7
