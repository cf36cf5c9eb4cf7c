#include "log/log_writer.h"

#include "log/log_line.h"

namespace vornix7 {

void LogWriter::WriteLogLine(const SensorTable& table, std::int32_t lastSensor, std::string_view status)
{
    sink_.Append(FormatLogLine(table, lastSensor, status, timeSeparator_, codePage_));
}

} // namespace vornix7
