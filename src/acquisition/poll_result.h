#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // The sensors in use, fixed by the settings: counted at the first poll
    // (where a LastSensor above 16 throws), then kept with their tags until
    // LastSensor changes (only tests change it).
    int UsedSensors();

    const SettingsRecord& settings_;
    SensorTable& table_;
    const Clock& clock_;
    LogWriter& log_;
    // The LastSensor the count and tags were made for.
    std::optional<int> countedFor_;
    int used_ = 0;
    // t0..t(used-1), then the device name.
    std::vector<std::string> tags_;
};

} // namespace vornix7
