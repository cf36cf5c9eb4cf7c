#include "common/sensor_table.h"

#include <string>

#include "common/runtime_error.h"

namespace vornix7 {

int UsedSensorCount(int lastSensor)
{
    if (lastSensor >= kSensorSlots) {
        throw RuntimeError(error_kind::kSubscriptOutOfRange, "LastSensor is " + std::to_string(lastSensor)
                                                                 + ", but the sensors are numbered 0 to "
                                                                 + std::to_string(kSensorSlots - 1));
    }
    return lastSensor < 0 ? 0 : lastSensor + 1;
}

} // namespace vornix7
