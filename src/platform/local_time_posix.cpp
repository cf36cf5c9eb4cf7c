#include "platform/local_time.h"

namespace vornix7 {

std::tm LocalTime(std::time_t seconds)
{
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

} // namespace vornix7
