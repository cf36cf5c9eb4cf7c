#include "scripted_device.h"

#include <cstdio>

namespace vornix7::soak {

namespace {

// StillExecuting calls a slow request stays busy for: far more than any
// time-out of HTMLTimeout=0 allows, yet the script still ends if the logger
// never gives up.
constexpr int kSlowBusyCalls = 10'000;

// A status page of about the real device's size (some 2 KB), so each poll
// does the real amount of tag extraction.
std::string Page(const std::string& name, int poll)
{
    std::string page =
        "<html><head><title>VORNIX7</title></head><body>\n<devicename>" + name + "</devicename>\n";
    for (int sensor = 0; sensor < 8; ++sensor) {
        char element[64];
        std::snprintf(element, sizeof element, "<t%d>%.2f</t%d>\n", sensor, ReadingFor(poll, sensor), sensor);
        page += element;
    }
    while (page.size() < 2000) {
        page += "<p class=\"filler\">status ok, uptime and firmware notes</p>\n";
    }
    return page + "</body></html>\n";
}

} // namespace

std::string NameFor(int poll)
{
    return "Soak " + std::to_string(poll);
}

double ReadingFor(int poll, int sensor)
{
    return poll + 0.25 * sensor;
}

LocalDateTime TimeFor(int poll)
{
    constexpr int kDay = 24 * 3600;
    return LocalDateTime{2024, 1, 1 + poll / kDay, (poll % kDay) / 3600, (poll % 3600) / 60, poll % 60};
}

void ScriptedDevice::Fault(const std::string& what)
{
    // A few are enough to see what went wrong; a broken logger must not
    // fill the memory this test measures.
    if (faults_.size() < 20) {
        faults_.push_back("poll " + std::to_string(current_) + ": " + what);
    }
}

void ScriptedDevice::Cancel()
{
    active_ = false;
}

void ScriptedDevice::Execute(const std::string& url, const std::string& operation)
{
    current_ = polls_++;
    if (url != expectedUrl_ || operation != "GET") {
        Fault("request " + operation + " " + url);
    }
    clock_.time = TimeFor(current_);
    active_ = true;
    busyLeft_ = AnswerFor(current_) == Answer::Slow ? kSlowBusyCalls : 0;
    if (onPoll) {
        onPoll(current_);
    }
}

bool ScriptedDevice::StillExecuting()
{
    if (!active_ || busyLeft_ == 0) {
        return false;
    }
    --busyLeft_;
    return true;
}

std::optional<std::string> ScriptedDevice::GetChunk(std::int32_t size, std::int32_t /*dataType*/)
{
    if (!active_) {
        Fault("GetChunk after Cancel");
        return std::nullopt;
    }
    if (busyLeft_ > 0) {
        Fault("GetChunk while still executing");
        return std::nullopt;
    }
    std::optional<std::string> body;
    switch (AnswerFor(current_)) {
    case Answer::Good:
        body = Page(NameFor(current_), current_);
        break;
    case Answer::Slow:
        // Only reached if the logger waited out the whole slow answer.
        body = Page("LATE " + std::to_string(current_), -current_);
        break;
    case Answer::Empty:
        body = std::string();
        break;
    case Answer::Refused:
        break;
    }
    if (body && size >= 0 && body->size() > static_cast<std::size_t>(size)) {
        body->resize(static_cast<std::size_t>(size));
    }
    return body;
}

} // namespace vornix7::soak
