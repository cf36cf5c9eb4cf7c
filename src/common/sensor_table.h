#pragma once

#include <array>
#include <string>

#include "common/local_date_time.h"

namespace vornix7 {

inline constexpr int kSensorSlots = 17;

// The reading stored for every sensor in use after a failed poll.
inline constexpr double NoReading = -2048000.0;

// The latest poll: written only by the poll result, read by the log writer.
struct SensorTable {
    std::array<double, kSensorSlots> SensorValue{};
    std::string DeviceName;
    LocalDateTime PollTime;
};

// How many slots a poll uses: LastSensor + 1, none when it is negative.
// The table has 17 slots and LastSensor is not clamped: above 16 a poll
// reaches a slot that does not exist, which throws RuntimeError
// "Subscript out of range" before anything is written.
int UsedSensorCount(int lastSensor);

} // namespace vornix7
