#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/transfer_control.h"
#include "common/clock.h"

namespace vornix7::soak {

// What the device does with one poll; the script repeats kCycle.
enum class Answer { Good, Slow, Empty, Refused };
inline constexpr Answer kCycle[] = {Answer::Good, Answer::Slow, Answer::Good, Answer::Empty, Answer::Refused};
inline constexpr int kCycleLength = static_cast<int>(std::size(kCycle));

inline Answer AnswerFor(int poll)
{
    return kCycle[poll % kCycleLength];
}

// The device name and readings a good poll carries: both encode the poll's
// number, so every logged value can be traced back to the poll it came from.
std::string NameFor(int poll);
double ReadingFor(int poll, int sensor);

// The time stamp of a poll: the clock shows the poll's number as seconds
// after midnight, so ERROR lines, which carry no readings, are traceable too.
LocalDateTime TimeFor(int poll);

// A clock set by the device at the start of every poll.
class PollClock final : public Clock {
public:
    LocalDateTime time = TimeFor(0);
    LocalDateTime now() const override { return time; }
};

// The device on a script. Poll n (counted from 0 by Execute) answers as
// AnswerFor(n): Good with a full page at once, Slow stays busy (answering
// with a page that must never be logged only if the logger waits far too
// long), Empty with an empty body, Refused with no answer at all. Misuse of
// the control is recorded in faults().
class ScriptedDevice final : public TransferControl {
public:
    ScriptedDevice(PollClock& clock, std::string expectedUrl)
        : clock_(clock), expectedUrl_(std::move(expectedUrl))
    {
    }

    // Runs at the start of every poll with the poll's number.
    std::function<void(int poll)> onPoll;

    int polls() const { return polls_; }
    const std::vector<std::string>& faults() const { return faults_; }

    void Cancel() override;
    void Execute(const std::string& url, const std::string& operation) override;
    bool StillExecuting() override;
    std::optional<std::string> GetChunk(std::int32_t size, std::int32_t dataType) override;

private:
    void Fault(const std::string& what);

    PollClock& clock_;
    std::string expectedUrl_;
    int polls_ = 0;
    int current_ = -1;    // the poll of the request in progress or finished
    int busyLeft_ = 0;    // StillExecuting calls left before a slow answer
    bool active_ = false; // a request exists (not cancelled)
    std::vector<std::string> faults_;
};

} // namespace vornix7::soak
