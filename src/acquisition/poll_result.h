#pragma once

#include <string>
#include <string_view>

#include "common/clock.h"
#include "common/sensor_table.h"
#include "config/settings.h"
#include "log/line_sink.h"
#include "platform/system.h"

namespace vornix7 {

// Turns the outcome of one fetch into the sensor table and, where the
// settings ask for it, one log line appended to `log`, with `timeSeparator`
// in its time and in the system's code page unless told another.
class PollResultStore {
public:
    PollResultStore(const SettingsRecord& settings, SensorTable& table, const Clock& clock, LineSink& log,
                    char timeSeparator, CodePageKind codePage = SystemCodePageKind())
        : settings_(settings), table_(table), clock_(clock), log_(log), timeSeparator_(timeSeparator),
          codePage_(codePage)
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
    // Appends the line of the table's poll; status is "OK" or "ERROR".
    void WriteLogLine(std::string_view status);

    const SettingsRecord& settings_;
    SensorTable& table_;
    const Clock& clock_;
    LineSink& log_;
    char timeSeparator_;
    CodePageKind codePage_;
};

} // namespace vornix7
