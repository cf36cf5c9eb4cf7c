#include "common/clock.h"

#include <ctime>

#include "platform/system.h"

namespace vornix7 {

LocalDateTime SystemClock::now() const
{
    const std::tm local = LocalTime(std::time(nullptr));
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec};
}

} // namespace vornix7
