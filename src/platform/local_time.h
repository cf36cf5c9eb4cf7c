#pragma once

#include <ctime>

namespace vornix7 {

// `seconds` as the machine's local time (time zone and daylight saving
// from the system), thread-safe.
std::tm LocalTime(std::time_t seconds);

} // namespace vornix7
