#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

    // The sensors in use, fixed by the settings: counted at the first poll
    // (where a LastSensor above 16 throws), then kept with their tags until
    // LastSensor changes (only tests change it).
    int UsedSensors();

    const SettingsRecord& settings_;
    SensorTable& table_;
    const Clock& clock_;
    LineSink& log_;
    char timeSeparator_;
    CodePageKind codePage_;
    // The LastSensor the count and tags were made for.
    std::optional<int> countedFor_;
    int used_ = 0;
    // t0..t(used-1), then the device name.
    std::vector<std::string> tags_;
};

} // namespace vornix7
