#pragma once

#include <cstdint>
#include <string_view>

#include "common/sensor_table.h"
#include "log/line_sink.h"
#include "platform/code_page.h"

namespace vornix7 {

// Writes the log line of the latest poll to its sink, in the system's code
// page unless told another.
class LogWriter {
public:
    LogWriter(LineSink& sink, char timeSeparator, CodePageKind codePage = SystemCodePageKind())
        : sink_(sink), timeSeparator_(timeSeparator), codePage_(codePage)
    {
    }

    // Appends one line for the table's poll; status is "OK" or "ERROR".
    void WriteLogLine(const SensorTable& table, std::int32_t lastSensor, std::string_view status);

private:
    LineSink& sink_;
    char timeSeparator_;
    CodePageKind codePage_;
};

} // namespace vornix7
