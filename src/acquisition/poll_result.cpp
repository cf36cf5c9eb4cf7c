#include "acquisition/poll_result.h"

#include <string>
#include <vector>

#include "acquisition/tag_extraction.h"
#include "config/numbers.h"
#include "log/log_line.h"

namespace vornix7 {

namespace {

constexpr const char* kDeviceNameTag = "devicename";

// t0..t(count-1), then the device name.
std::vector<std::string> WantedTags(int sensorCount)
{
    std::vector<std::string> tags;
    tags.reserve(static_cast<std::size_t>(sensorCount) + 1);
    for (int i = 0; i < sensorCount; ++i) {
        tags.push_back(SensorTag(i));
    }
    tags.emplace_back(kDeviceNameTag);
    return tags;
}

} // namespace

void PollResultStore::StorePollResult(std::string_view page)
{
    const int used = UsedSensorCount(settings_.LastSensor);
    if (!page.empty()) {
        const PageElements elements(page, WantedTags(used));
        for (int i = 0; i < used; ++i) {
            table_.SensorValue[static_cast<std::size_t>(i)] =
                LeadingNumber(elements.Value(static_cast<std::size_t>(i)));
        }
        table_.PollTime = clock_.now();
        table_.DeviceName = std::string(elements.Value(static_cast<std::size_t>(used)));
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
