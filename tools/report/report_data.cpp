#include "tools/report/report_data.h"

#include <algorithm>

namespace vornix7 {

namespace {

// floor(a / b) for b > 0, also for negative a (times before 1970).
LogSeconds FloorDiv(LogSeconds a, LogSeconds b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

ReportBuilder::ReportBuilder(std::optional<LogSeconds> from, std::optional<LogSeconds> to,
                             std::size_t maxSteps, RecordSink onRecord)
    : from_(from), to_(to), maxSteps_(std::max<std::size_t>(maxSteps, 2)), onRecord_(std::move(onRecord))
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
        ++data_.lines;
        if (skippingLongLine_) {
            ++data_.unreadable;
            if (data_.firstUnreadable.size() < kListedUnreadable) {
                data_.firstUnreadable.push_back(
                    {data_.lines, "longer than " + std::to_string(kMaxLineBytes) + " bytes"});
            }
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
        ++data_.unreadable;
        if (data_.firstUnreadable.size() < kListedUnreadable) {
            data_.firstUnreadable.push_back({data_.lines, parsed.problem.reason});
        }
        return;
    }
    AddRecord(*parsed.record);
}

void ReportBuilder::AddRecord(const LogRecord& record)
{
    if ((from_ && record.time < *from_) || (to_ && record.time > *to_)) {
        return;
    }
    if (onRecord_) {
        onRecord_(data_.lines, record);
    }
    ++data_.polls;
    data_.first = std::min(record.time, data_.first.value_or(record.time));
    data_.last = std::max(record.time, data_.last.value_or(record.time));
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
            ++sensor.count;
        }
        if (currentSpell_) {
            currentSpell_->end = record.time;
            spells_.push_back(*currentSpell_);
            currentSpell_.reset();
        }
    } else {
        ++data_.errorPolls;
        if (!currentSpell_) {
            currentSpell_ = OfflineSpell{record.time, record.time, 0, false};
        }
        currentSpell_->end = record.time;
        ++currentSpell_->failedPolls;
    }
    AddToStep(record);
}

void ReportBuilder::AddToStep(const LogRecord& record)
{
    LogSeconds key = FloorDiv(record.time, data_.stepSeconds);
    while (!steps_.empty()) {
        const LogSeconds low = std::min(key, steps_.begin()->first);
        const LogSeconds high = std::max(key, steps_.rbegin()->first);
        if (static_cast<std::size_t>(high - low) < maxSteps_) {
            break;
        }
        Coarsen();
        key = FloorDiv(record.time, data_.stepSeconds);
    }
    const auto [it, added] = steps_.try_emplace(key);
    Step& step = it->second;
    if (added || record.time < step.firstPoll) {
        step.firstPoll = record.time;
    }
    if (!record.ok) {
        step.firstError = std::min(record.time, step.firstError.value_or(record.time));
        return;
    }
    if (step.sensors.size() < record.readings.size()) {
        step.sensors.resize(record.readings.size());
    }
    for (std::size_t i = 0; i < record.readings.size(); ++i) {
        if (!record.readings[i]) {
            continue;
        }
        const double value = *record.readings[i];
        SensorStep& sensor = step.sensors[i];
        if (sensor.count == 0 || value < sensor.min) {
            sensor.min = value;
            sensor.minTime = record.time;
        }
        if (sensor.count == 0 || value > sensor.max) {
            sensor.max = value;
            sensor.maxTime = record.time;
        }
        ++sensor.count;
    }
}

void ReportBuilder::Merge(Step& into, const Step& from)
{
    into.firstPoll = std::min(into.firstPoll, from.firstPoll);
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

ReportData ReportBuilder::Finish()
{
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
    for (const OfflineSpell& spell : spells_) {
        if (!data_.longestSpell || spell.Duration() > data_.longestSpell->Duration()) {
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
    for (const auto& [key, step] : steps_) {
        for (std::size_t i = 0; i < data_.charts.size(); ++i) {
            std::vector<ChartPoint> points;
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
    }
    steps_.clear();
    return std::move(data_);
}

} // namespace vornix7
