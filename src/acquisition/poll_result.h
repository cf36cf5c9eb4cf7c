#pragma once

#include <string_view>

#include "common/clock.h"
#include "common/sensor_table.h"
#include "config/settings.h"
#include "log/log_writer.h"

namespace vornix7 {

// Turns the outcome of one fetch into the sensor table and, where the
// settings ask for it, one log line.
class PollResultStore {
public:
    PollResultStore(const SettingsRecord& settings, SensorTable& table, const Clock& clock, LogWriter& log)
        : settings_(settings), table_(table), clock_(clock), log_(log)
    {
    }

    // A non-empty page is a successful poll: readings 0..LastSensor and the
    // device name come from it, and an "OK" line is written when UseLogFile
    // is above zero. Empty text is a failed poll: every reading in use
    // becomes NoReading, the device name stays, and an "ERROR" line is
    // always written. Throws RuntimeError for LastSensor above 16 or a log
    // that cannot be written.
    void StorePollResult(std::string_view page);

private:
    const SettingsRecord& settings_;
    SensorTable& table_;
    const Clock& clock_;
    LogWriter& log_;
};

} // namespace vornix7
