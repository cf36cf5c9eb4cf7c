#include "tools/report/report_data.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace vornix7 {

namespace {

constexpr double kMeanScale = 0x1p-64;

// One step of a spell from poll to poll in the log's order.
void Advance(OfflineSpell& spell, LogSeconds time)
{
    if (time >= spell.lastTime) {
        spell.forward += time - spell.lastTime;
    } else {
        ++spell.clockSetBack;
    }
    spell.lastTime = time;
}

} // namespace

double SensorSummary::Mean() const
{
    if (count == 0) {
        return 0.0;
    }
    const double mean = sum / static_cast<double>(count);
    return std::isfinite(mean) ? mean : (scaledSum / static_cast<double>(count)) / kMeanScale;
}

ReportBuilder::ReportBuilder(std::optional<LogSeconds> from, std::optional<LogSeconds> to,
                             std::size_t maxSteps, RecordSink onRecord)
    : from_(from), to_(to), maxSteps_(std::max<std::size_t>(maxSteps, 2)), onRecord_(std::move(onRecord)),
      intervals_(kExactIntervals, 0)
{
}

void ReportBuilder::AddBytes(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        if (!skippingLongLine_) {
            pending_.append(piece);
            if (pending_.size() > kMaxLineBytes) {
                // Not a log line; no need to hold it whole to say so.
                skippingLongLine_ = true;
                pending_.clear();
            }
        }
        if (newline == std::string_view::npos) {
            return;
        }
        ++lineNumber_;
        if (skippingLongLine_) {
            Unreadable("longer than " + std::to_string(kMaxLineBytes) + " bytes");
            skippingLongLine_ = false;
        } else {
            AddLine(pending_);
        }
        pending_.clear();
        bytes.remove_prefix(newline + 1);
    }
}

void ReportBuilder::AddLine(std::string_view line)
{
    const ParsedLine parsed = ParseLogLine(line);
    if (!parsed.record) {
        Unreadable(parsed.problem);
        return;
    }
    if (!InRange(parsed.record->time)) {
        return;
    }
    // The whole line, its CR too: a line that differs in any byte is a poll.
    if (const auto earlier = repeats_.Repeats(line, lineNumber_)) {
        ++data_.exactRepeats;
        if (data_.firstRepeats.size() < kListedUnreadable) {
            data_.firstRepeats.push_back({lineNumber_, *earlier});
        }
        return;
    }
    AddRecord(*parsed.record);
}

void ReportBuilder::Unreadable(std::string reason)
{
    ++data_.unreadable;
    if (data_.firstUnreadable.size() < kListedUnreadable) {
        data_.firstUnreadable.push_back({lineNumber_, std::move(reason)});
    }
}

bool ReportBuilder::InRange(LogSeconds time) const
{
    return !(from_ && time < *from_) && !(to_ && time > *to_);
}

void ReportBuilder::CountInterval(LogSeconds time)
{
    if (previousTime_ && time > *previousTime_) {
        const LogSeconds interval = time - *previousTime_;
        if (interval < static_cast<LogSeconds>(kExactIntervals)) {
            ++intervals_[static_cast<std::size_t>(interval)];
        } else {
            ++longIntervals_[std::bit_width(static_cast<std::uint64_t>(interval))];
        }
    }
    previousTime_ = time;
}

LogSeconds ReportBuilder::MedianInterval() const
{
    std::int64_t total = 0;
    for (const std::int64_t count : intervals_) {
        total += count;
    }
    for (const auto& [width, count] : longIntervals_) {
        total += count;
    }
    const std::int64_t half = (total + 1) / 2;
    std::int64_t seen = 0;
    for (std::size_t interval = 1; interval < intervals_.size(); ++interval) {
        seen += intervals_[interval];
        if (total > 0 && seen >= half) {
            return static_cast<LogSeconds>(interval);
        }
    }
    for (const auto& [width, count] : longIntervals_) {
        seen += count;
        if (seen >= half) {
            return LogSeconds{1} << (width - 1);
        }
    }
    return 0;
}

void ReportBuilder::AddRecord(const LogRecord& record)
{
    if (onRecord_) {
        onRecord_(record);
    }
    ++data_.polls;
    CountInterval(record.time);
    if (!record.deviceName.empty()) {
        // A device that names itself anew at every poll must not make the
        // report's memory grow with the log.
        const auto known = deviceCounts_.find(record.deviceName);
        if (known != deviceCounts_.end()) {
            ++known->second;
        } else if (deviceCounts_.size() < kTrackedDevices) {
            deviceCounts_.emplace(record.deviceName, 1);
        } else {
            ++data_.otherDevicePolls;
        }
    }
    if (data_.sensors.size() < record.readings.size()) {
        data_.sensors.resize(record.readings.size());
    }
    if (record.ok) {
        ++data_.okPolls;
        for (std::size_t i = 0; i < record.readings.size(); ++i) {
            if (!record.readings[i]) {
                continue;
            }
            const double value = *record.readings[i];
            SensorSummary& sensor = data_.sensors[i];
            sensor.min = sensor.count == 0 ? value : std::min(sensor.min, value);
            sensor.max = sensor.count == 0 ? value : std::max(sensor.max, value);
            sensor.sum += value;
            sensor.scaledSum += value * kMeanScale;
            ++sensor.count;
        }
        if (currentSpell_) {
            currentSpell_->end = record.time;
            Advance(*currentSpell_, record.time);
            spells_.push_back(*currentSpell_);
            currentSpell_.reset();
        }
    } else {
        ++data_.errorPolls;
        if (!currentSpell_) {
            currentSpell_ = OfflineSpell{};
            currentSpell_->start = record.time;
            currentSpell_->lastTime = record.time;
        }
        currentSpell_->end = record.time;
        Advance(*currentSpell_, record.time);
        ++currentSpell_->failedPolls;
    }
    AddToStep(record);
}

void ReportBuilder::AddToStep(const LogRecord& record)
{
    // Only steps that hold polls are kept, so a few polls far off in time
    // cost a step each and do not widen the others; the steps are widened
    // to fit the time range once the far-off ones are set aside.
    if (steps_.size() >= 2 * maxSteps_ && !steps_.contains(FloorDiv(record.time, data_.stepSeconds))) {
        Coarsen();
    }
    // The poll as a step of its own, merged into its step.
    Step poll{record.time, record.time, 1, std::nullopt, {}};
    if (!record.ok) {
        poll.firstError = record.time;
    } else {
        poll.sensors.resize(record.readings.size());
        for (std::size_t i = 0; i < record.readings.size(); ++i) {
            if (const auto value = record.readings[i]) {
                poll.sensors[i] = {1, *value, *value, record.time, record.time};
            }
        }
    }
    const auto [it, added] = steps_.try_emplace(FloorDiv(record.time, data_.stepSeconds), poll);
    if (!added) {
        Merge(it->second, poll);
    }
}

void ReportBuilder::Merge(Step& into, const Step& from)
{
    into.firstPoll = std::min(into.firstPoll, from.firstPoll);
    into.lastPoll = std::max(into.lastPoll, from.lastPoll);
    into.polls += from.polls;
    if (from.firstError) {
        into.firstError = std::min(*from.firstError, into.firstError.value_or(*from.firstError));
    }
    if (into.sensors.size() < from.sensors.size()) {
        into.sensors.resize(from.sensors.size());
    }
    for (std::size_t i = 0; i < from.sensors.size(); ++i) {
        const SensorStep& add = from.sensors[i];
        SensorStep& sensor = into.sensors[i];
        if (add.count == 0) {
            continue;
        }
        if (sensor.count == 0 || add.min < sensor.min) {
            sensor.min = add.min;
            sensor.minTime = add.minTime;
        }
        if (sensor.count == 0 || add.max > sensor.max) {
            sensor.max = add.max;
            sensor.maxTime = add.maxTime;
        }
        sensor.count += add.count;
    }
}

void ReportBuilder::Coarsen()
{
    data_.stepSeconds *= 2;
    std::map<LogSeconds, Step> coarser;
    for (auto& [key, step] : steps_) {
        const auto [it, added] = coarser.try_emplace(FloorDiv(key, 2), std::move(step));
        if (!added) {
            Merge(it->second, step);
        }
    }
    steps_ = std::move(coarser);
}

void ReportBuilder::SetFarOffAside()
{
    // Groups of polls, each more than kFarOffSeconds from the next.
    struct Group {
        LogSeconds firstKey = 0;
        LogSeconds lastKey = 0;
        LogSeconds firstPoll = 0;
        LogSeconds lastPoll = 0;
        std::int64_t polls = 0;
    };
    std::vector<Group> groups;
    for (const auto& [key, step] : steps_) {
        if (groups.empty() || step.firstPoll - groups.back().lastPoll > kFarOffSeconds) {
            groups.push_back({key, key, step.firstPoll, step.lastPoll, 0});
        }
        Group& group = groups.back();
        group.lastKey = key;
        group.lastPoll = std::max(group.lastPoll, step.lastPoll);
        group.polls += step.polls;
    }
    // The bulk: groups of more than 1 % of the polls (and more than ten).
    // Smaller groups before or after all of them are far off; a log
    // without such a group has none.
    const std::int64_t big = std::max<std::int64_t>(data_.polls / 100, 10);
    const auto isBig = [big](const Group& group) {
        return group.polls > big;
    };
    const auto firstBig = std::find_if(groups.begin(), groups.end(), isBig);
    if (firstBig == groups.end()) {
        return;
    }
    const auto lastBig = std::find_if(groups.rbegin(), groups.rend(), isBig).base();
    const auto setAside = [this](const Group& group) {
        data_.farOffPolls += group.polls;
        data_.farOffFirst = std::min(group.firstPoll, data_.farOffFirst.value_or(group.firstPoll));
        data_.farOffLast = std::max(group.lastPoll, data_.farOffLast.value_or(group.lastPoll));
        farOff_.emplace_back(group.firstPoll, group.lastPoll);
        steps_.erase(steps_.lower_bound(group.firstKey), steps_.upper_bound(group.lastKey));
    };
    std::for_each(groups.begin(), firstBig, setAside);
    std::for_each(lastBig, groups.end(), setAside);
}

bool ReportBuilder::FarOff(LogSeconds time) const
{
    return std::any_of(farOff_.begin(), farOff_.end(),
                       [time](const auto& range) { return time >= range.first && time <= range.second; });
}

ReportData ReportBuilder::Finish()
{
    const LogSeconds typicalInterval = MedianInterval();
    SetFarOffAside();
    while (!steps_.empty()
           && static_cast<std::size_t>(steps_.rbegin()->first - steps_.begin()->first) >= maxSteps_) {
        Coarsen();
    }
    if (!steps_.empty()) {
        data_.first = steps_.begin()->second.firstPoll;
        data_.last = steps_.rbegin()->second.lastPoll;
    }
    if (!pending_.empty() || skippingLongLine_) {
        data_.halfLineAtEnd = true;
        pending_.clear();
        skippingLongLine_ = false;
    }
    if (currentSpell_) {
        currentSpell_->ongoing = true;
        spells_.push_back(*currentSpell_);
        currentSpell_.reset();
    }
    data_.spells = static_cast<std::int64_t>(spells_.size());
    // A spell that begins or ends at a far-off time has no length to tell.
    std::erase_if(spells_,
                  [this](const OfflineSpell& spell) { return FarOff(spell.start) || FarOff(spell.end); });
    for (OfflineSpell& spell : spells_) {
        spell.duration = spell.forward + spell.clockSetBack * typicalInterval;
        if (!data_.longestSpell || spell.duration > data_.longestSpell->duration) {
            data_.longestSpell = spell;
        }
    }
    // Spells closer than a time step are drawn as one shaded span.
    std::vector<std::pair<LogSeconds, LogSeconds>> spans;
    spans.reserve(spells_.size());
    for (const OfflineSpell& spell : spells_) {
        spans.emplace_back(spell.start, std::max(spell.start, spell.end));
    }
    std::sort(spans.begin(), spans.end());
    for (const auto& span : spans) {
        if (!data_.shadedSpells.empty()
            && span.first - data_.shadedSpells.back().second < data_.stepSeconds) {
            data_.shadedSpells.back().second = std::max(data_.shadedSpells.back().second, span.second);
        } else {
            data_.shadedSpells.push_back(span);
        }
    }
    spells_.clear();

    std::vector<std::pair<std::string, std::int64_t>> devices(deviceCounts_.begin(), deviceCounts_.end());
    std::stable_sort(devices.begin(), devices.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    for (std::size_t i = kListedDevices; i < devices.size(); ++i) {
        data_.otherDevicePolls += devices[i].second;
    }
    devices.resize(std::min(devices.size(), kListedDevices));
    data_.devices = std::move(devices);

    data_.charts.assign(data_.sensors.size(), {});
    const Step* previous = nullptr;
    for (const auto& [key, step] : steps_) {
        // No poll for a long stretch: the logger was not running.
        const bool gap = previous && typicalInterval > 0
                         && step.firstPoll - previous->lastPoll > kGapIntervals * typicalInterval;
        for (std::size_t i = 0; i < data_.charts.size(); ++i) {
            std::vector<ChartPoint> points;
            if (gap) {
                points.push_back({previous->lastPoll + 1, std::nullopt});
            }
            const SensorStep sensor = i < step.sensors.size() ? step.sensors[i] : SensorStep{};
            if (sensor.count > 0) {
                points.push_back({sensor.minTime, sensor.min});
                if (sensor.maxTime != sensor.minTime) {
                    points.push_back({sensor.maxTime, sensor.max});
                }
            }
            if (step.firstError) {
                points.push_back({*step.firstError, std::nullopt});
            } else if (sensor.count == 0) {
                // Good polls in this step, none with this reading (a run
                // with fewer sensors): no line across it either.
                points.push_back({step.firstPoll, std::nullopt});
            }
            std::stable_sort(points.begin(), points.end(),
                             [](const ChartPoint& a, const ChartPoint& b) { return a.time < b.time; });
            data_.charts[i].insert(data_.charts[i].end(), points.begin(), points.end());
        }
        previous = &step;
    }
    steps_.clear();
    return std::move(data_);
}

} // namespace vornix7
