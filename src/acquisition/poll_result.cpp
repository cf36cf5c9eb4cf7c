#include "acquisition/poll_result.h"

#include "acquisition/tag_extraction.h"
#include "config/numbers.h"
#include "log/log_line.h"

namespace vornix7 {

namespace {

constexpr const char* kDeviceNameTag = "devicename";

} // namespace

void PollResultStore::StorePollResult(std::string_view page)
{
    const int used = UsedSensorCount(settings_.LastSensor);
    if (!page.empty()) {
        for (int i = 0; i < used; ++i) {
            table_.SensorValue[static_cast<std::size_t>(i)] =
                LeadingNumber(ExtractTagValue(page, SensorTag(i)));
        }
        table_.PollTime = clock_.now();
        table_.DeviceName = ExtractTagValue(page, kDeviceNameTag);
        if (settings_.UseLogFile > 0) {
            WriteLogLine("OK");
        }
        return;
    }
    for (int i = 0; i < used; ++i) {
        table_.SensorValue[static_cast<std::size_t>(i)] = NoReading;
    }
    table_.PollTime = clock_.now();
    WriteLogLine("ERROR");
}

void PollResultStore::WriteLogLine(std::string_view status)
{
    log_.Append(FormatLogLine(table_, settings_.LastSensor, status, timeSeparator_, codePage_));
}

} // namespace vornix7
