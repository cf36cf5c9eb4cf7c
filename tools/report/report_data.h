#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/report/log_reading.h"

namespace vornix7 {

struct SensorSummary {
    std::int64_t count = 0; // real readings (OK polls, not -2048000.)
    double min = 0.0;
    double max = 0.0;
    double sum = 0.0;
    // The same sum of readings scaled down by 2^-64, which cannot overflow:
    // the mean of readings near the largest double is still a number.
    double scaledSum = 0.0;
    double Mean() const;
};

struct OfflineSpell {
    LogSeconds start = 0; // the first failed poll
    LogSeconds end = 0;   // the next good poll, or the last failed one when the log ends offline
    std::int64_t failedPolls = 0;
    bool ongoing = false; // the log ends in it
    // From poll to poll in the log's order: the steps forward, and how often
    // the clock went back (a DST fall-back), each counted as one typical
    // poll interval in `duration`.
    LogSeconds forward = 0;
    std::int64_t clockSetBack = 0;
    LogSeconds duration = 0; // set when the log is read through
    LogSeconds lastTime = 0; // the spell's latest poll so far, in the log's order
};

// One point of a chart; no value is a break in the line.
struct ChartPoint {
    LogSeconds time = 0;
    std::optional<double> value;
};

struct UnreadableLine {
    std::int64_t number = 0;
    std::string reason;
};

// A line skipped as a byte-for-byte repeat of an earlier one.
struct RepeatedLine {
    std::int64_t number = 0;
    std::int64_t earlier = 0; // the line it repeats
};

// Everything the page shows. The summary counts every line in the time
// range; the charts hold a bounded number of points.
struct ReportData {
    std::int64_t polls = 0; // read and in the time range
    std::int64_t okPolls = 0;
    std::int64_t errorPolls = 0;
    std::optional<LogSeconds> first;
    std::optional<LogSeconds> last;
    std::optional<OfflineSpell> longestSpell;
    std::int64_t spells = 0;
    std::vector<std::pair<LogSeconds, LogSeconds>> shadedSpells; // merged where closer than a time step
    std::vector<std::pair<std::string, std::int64_t>> devices;   // names and their polls, most first
    std::int64_t otherDevicePolls = 0;                           // polls of names beyond the lists' bounds
    std::vector<SensorSummary> sensors;                          // 0..the widest line's last reading
    std::vector<std::vector<ChartPoint>> charts;                 // one per sensor
    LogSeconds stepSeconds = 1;                                  // the charts' time step
    std::int64_t unreadable = 0;
    std::vector<UnreadableLine> firstUnreadable; // the first few, by line number
    bool halfLineAtEnd = false;                  // a line being written, left out
    // Polls in the time range whose line repeats, byte for byte, one of the
    // RepeatWindow::kLines polls before it (a line a relay delivered
    // twice): skipped, counted here only.
    std::int64_t exactRepeats = 0;
    std::vector<RepeatedLine> firstRepeats; // the first few, by line number
    // Polls at far-off times (a clock not yet set at boot): counted above,
    // but left out of first/last, the charts and the longest spell.
    std::int64_t farOffPolls = 0;
    std::optional<LogSeconds> farOffFirst;
    std::optional<LogSeconds> farOffLast;
};

// A stretch of more than this many typical poll intervals without a poll
// (the logger was not running) breaks the charts' lines.
inline constexpr LogSeconds kGapIntervals = 10;
// Polls more than this far (in seconds) from all others form a group of
// their own; a small group before or after the bulk of the log is far off.
inline constexpr LogSeconds kFarOffSeconds = 30 * 86400;

// Builds the report's data from a log's bytes, handed over in pieces of any
// size, in one pass and in memory bounded by `maxSteps` (not by the log).
// Each chart is cut into at most about `maxSteps` time steps (widths of a
// power of two seconds); a step keeps its lowest and highest reading, and a
// failed poll in it, or a poll without that reading, breaks the line there,
// as does a stretch of more than kGapIntervals typical intervals without a
// poll. Polls far off in time do not widen the steps.
// A line that repeats one of the last RepeatWindow::kLines polls in the
// range byte for byte is no poll: it is counted in `exactRepeats` only.
// `onRecord`, when given, sees every poll in the time range, in the log's
// order (for a writer that needs each line), and no such repeat.
class ReportBuilder {
public:
    using RecordSink = std::function<void(const LogRecord& record)>;
    ReportBuilder(std::optional<LogSeconds> from, std::optional<LogSeconds> to, std::size_t maxSteps = 1000,
                  RecordSink onRecord = nullptr);

    void AddBytes(std::string_view bytes);
    ReportData Finish();

    static constexpr std::size_t kMaxLineBytes = 1 << 16;
    static constexpr std::size_t kListedUnreadable = 20;
    static constexpr std::size_t kListedDevices = 20;
    static constexpr std::size_t kTrackedDevices = 1000;

private:
    struct SensorStep {
        std::int64_t count = 0;
        double min = 0.0;
        double max = 0.0;
        LogSeconds minTime = 0;
        LogSeconds maxTime = 0;
    };
    struct Step {
        LogSeconds firstPoll = 0;
        LogSeconds lastPoll = 0;
        std::int64_t polls = 0;
        std::optional<LogSeconds> firstError;
        std::vector<SensorStep> sensors;
    };

    void AddLine(std::string_view line);
    // The current line is not read, for `reason`.
    void Unreadable(std::string reason);
    bool InRange(LogSeconds time) const;
    void AddRecord(const LogRecord& record);
    void AddToStep(const LogRecord& record);
    void Coarsen();
    static void Merge(Step& into, const Step& from);
    void CountInterval(LogSeconds time);
    // The median time from one poll to the next (in the log's order, steps
    // forward only): the typical poll interval; 0 with fewer than two polls.
    LogSeconds MedianInterval() const;
    void SetFarOffAside();
    bool FarOff(LogSeconds time) const;

    std::optional<LogSeconds> from_;
    std::optional<LogSeconds> to_;
    std::size_t maxSteps_;
    RecordSink onRecord_;

    std::int64_t lineNumber_ = 0; // of the last whole line
    std::string pending_;
    bool skippingLongLine_ = false;
    RepeatWindow repeats_; // the last polls in the time range

    ReportData data_;
    std::map<std::string, std::int64_t> deviceCounts_;
    std::optional<OfflineSpell> currentSpell_;
    std::vector<OfflineSpell> spells_;
    std::map<LogSeconds, Step> steps_; // only steps with polls, at most 2 * maxSteps_ of them
    // Poll-to-poll intervals: exact counts below kExactIntervals seconds,
    // then by powers of two.
    static constexpr std::size_t kExactIntervals = 4096;
    std::optional<LogSeconds> previousTime_;
    std::vector<std::int64_t> intervals_;
    std::map<int, std::int64_t> longIntervals_;
    std::vector<std::pair<LogSeconds, LogSeconds>> farOff_; // the far-off groups' first and last polls
};

} // namespace vornix7
