#pragma once

#include <cstdint>
#include <string_view>

#include "common/sensor_table.h"
#include "log/line_sink.h"

namespace vornix7 {

// Writes the log line of the latest poll to its sink.
class LogWriter {
public:
    LogWriter(LineSink& sink, char timeSeparator) : sink_(sink), timeSeparator_(timeSeparator) {}

    // Appends one line for the table's poll; status is "OK" or "ERROR".
    void WriteLogLine(const SensorTable& table, std::int32_t lastSensor, std::string_view status);

private:
    LineSink& sink_;
    char timeSeparator_;
};

} // namespace vornix7
