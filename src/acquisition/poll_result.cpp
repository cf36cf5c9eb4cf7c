#include "acquisition/poll_result.h"

#include "acquisition/tag_extraction.h"
#include "config/numbers.h"
#include "log/log_line.h"

namespace vornix7 {

namespace {

constexpr const char* kDeviceNameTag = "devicename";

} // namespace

int PollResultStore::UsedSensors()
{
    if (countedFor_ != settings_.LastSensor) {
        used_ = UsedSensorCount(settings_.LastSensor);
        tags_.clear();
        for (int i = 0; i < used_; ++i) {
            tags_.push_back(SensorTag(i));
        }
        tags_.emplace_back(kDeviceNameTag);
        countedFor_ = settings_.LastSensor;
    }
    return used_;
}

void PollResultStore::StorePollResult(std::string_view page)
{
    const int used = UsedSensors();
    if (!page.empty()) {
        const PageElements elements(page, tags_);
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
