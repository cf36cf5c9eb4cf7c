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
};

struct OfflineSpell {
    LogSeconds start = 0; // the first failed poll
    LogSeconds end = 0;   // the next good poll, or the last failed one when the log ends offline
    std::int64_t failedPolls = 0;
    bool ongoing = false; // the log ends in it
    LogSeconds Duration() const { return end > start ? end - start : 0; }
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

// Everything the page shows. The summary counts every line in the time
// range; the charts hold a bounded number of points.
struct ReportData {
    std::int64_t lines = 0; // whole lines in the file
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
};

// Builds the report's data from a log's bytes, handed over in pieces of any
// size, in one pass and in memory bounded by `maxSteps` (not by the log).
// Each chart is cut into at most about `maxSteps` time steps (widths of a
// power of two seconds); a step keeps its lowest and highest reading, and a
// failed poll in it, or a poll without that reading, breaks the line there.
// `onRecord`, when given, sees every poll in the time range with its line
// number, in the log's order (for a writer that needs each line).
class ReportBuilder {
public:
    using RecordSink = std::function<void(std::int64_t line, const LogRecord& record)>;
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
        std::optional<LogSeconds> firstError;
        std::vector<SensorStep> sensors;
    };

    void AddLine(std::string_view line);
    void AddRecord(const LogRecord& record);
    void AddToStep(const LogRecord& record);
    void Coarsen();
    static void Merge(Step& into, const Step& from);

    std::optional<LogSeconds> from_;
    std::optional<LogSeconds> to_;
    std::size_t maxSteps_;
    RecordSink onRecord_;

    std::string pending_;
    bool skippingLongLine_ = false;

    ReportData data_;
    std::map<std::string, std::int64_t> deviceCounts_;
    std::optional<OfflineSpell> currentSpell_;
    std::vector<OfflineSpell> spells_;
    std::map<LogSeconds, Step> steps_;
};

} // namespace vornix7
