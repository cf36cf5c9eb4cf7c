#pragma once

#include "common/local_date_time.h"

namespace vornix7 {

// Where the poll time comes from; tests set a fake one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

// The machine's local time (time zone and daylight saving from the system).
class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
};

} // namespace vornix7
