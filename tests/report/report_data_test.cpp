#include "tools/report/report_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace vornix7 {
namespace {

struct SummaryCase {
    const char* name;
    std::string log;
    std::int64_t polls, ok, error, unreadable;
    std::string first, last; // "" when there is none
    std::int64_t spells;
    std::string longest; // "start..end xN" (N failed polls, "+" when ongoing), "" for none
    std::vector<std::int64_t> unreadableLines;
    bool halfLine;
    // Per sensor: "count min max mean", "-" for a sensor without readings.
    std::vector<std::string> sensors;
    std::optional<std::string> from = std::nullopt;
    std::optional<std::string> to = std::nullopt;
    std::int64_t farOff = 0;                                          // polls set aside as far off in time
    std::optional<LogSeconds> longestSeconds = {};                    // the longest spell's length
    std::int64_t repeats = 0;                                         // exact repeats skipped
    std::vector<std::pair<std::int64_t, std::int64_t>> repeated = {}; // line, the line it repeats
};

// `count` polls of 1. one second apart from 2026-12-07 10:00:01, all
// different.
std::string DistinctPolls(int count)
{
    std::string log;
    for (int i = 1; i <= count; ++i) {
        log += FormatLogSeconds(SecondsFromCivil({2026, 12, 7, 10, 0, 0}) + i) + ",A,1.,OK\r\n";
    }
    return log;
}

std::string Describe(const SensorSummary& s)
{
    if (s.count == 0) {
        return "-";
    }
    char text[128];
    std::snprintf(text, sizeof text, "%lld %g %g %g", static_cast<long long>(s.count), s.min, s.max,
                  s.Mean());
    return text;
}

std::string Describe(const std::optional<OfflineSpell>& spell)
{
    if (!spell) {
        return "";
    }
    return FormatLogSeconds(spell->start).substr(11) + ".." + FormatLogSeconds(spell->end).substr(11) + " x"
           + std::to_string(spell->failedPolls) + (spell->ongoing ? "+" : "");
}

// `records` counts the polls handed to a record sink (as the workbook gets them).
ReportData Build(const SummaryCase& c, std::size_t pieceSize, std::int64_t* records = nullptr)
{
    ReportBuilder builder(c.from ? ParseTimeArgument(*c.from, false) : std::nullopt,
                          c.to ? ParseTimeArgument(*c.to, true) : std::nullopt, 1000,
                          [records](const LogRecord&) {
                              if (records) {
                                  ++*records;
                              }
                          });
    for (std::size_t at = 0; at < c.log.size(); at += pieceSize) {
        builder.AddBytes(std::string_view(c.log).substr(at, pieceSize));
    }
    return builder.Finish();
}

TEST(ReportBuilder, SummarisesEveryLineInTheRange)
{
    const std::string day = "2026-12-07 ";
    const SummaryCase cases[] = {
        {"good and failed polls are counted, with each sensor's minimum, maximum and mean",
         day + "10:00:00,Lab,1.,10.,OK\r\n" + day + "10:00:05,Lab,-2048000.,-2048000.,ERROR\r\n" + day
             + "10:00:10,Lab,3.,-10.,OK\r\n",
         3,
         2,
         1,
         0,
         day + "10:00:00",
         day + "10:00:10",
         1,
         "10:00:05..10:00:10 x1",
         {},
         false,
         {"2 1 3 2", "2 -10 10 0"}},
        {"an offline spell runs from the first failed poll to the next good one; the longest is named",
         day + "10:00:00,A,1.,OK\n" + day + "10:00:05,A,-2048000.,ERROR\n" + day
             + "10:00:10,A,-2048000.,ERROR\n" + day + "10:00:15,A,-2048000.,ERROR\n" + day
             + "10:00:20,A,2.,OK\n" + day + "10:00:25,A,-2048000.,ERROR\n" + day + "10:00:30,A,2.,OK\n",
         7,
         3,
         4,
         0,
         day + "10:00:00",
         day + "10:00:30",
         2,
         "10:00:05..10:00:20 x3",
         {},
         false,
         {"3 1 2 1.66667"}},
        {"a log that ends offline ends in a spell still going, up to its last failed poll",
         day + "10:00:00,A,1.,OK\n" + day + "10:00:05,A,-2048000.,ERROR\n" + day
             + "10:00:10,A,-2048000.,ERROR\n",
         3,
         1,
         2,
         0,
         day + "10:00:00",
         day + "10:00:10",
         1,
         "10:00:05..10:00:10 x2+",
         {},
         false,
         {"1 1 1 1"}},
        {"lines of different widths are all read; a sensor counts only where it is logged",
         day + "10:00:00,A,1.,2.,3.,OK\n" + day + "10:00:05,A,5.,OK\n" + day + "10:00:10,A,,ERROR\n",
         3,
         2,
         1,
         0,
         day + "10:00:00",
         day + "10:00:10",
         1,
         "10:00:10..10:00:10 x1+",
         {},
         false,
         {"2 1 5 3", "1 2 2 2", "1 3 3 3"}},
        {"lines that cannot be read are counted by number and the rest is read",
         day + "10:00:00,A,1.,OK\n" + "junk\n" + day + "10:00:05,A,2.,OK\n" + day + "10:00:10,A,1.,x,OK\n"
             + "\n",
         2,
         2,
         0,
         3,
         day + "10:00:00",
         day + "10:00:05",
         0,
         "",
         {2, 4, 5},
         false,
         {"2 1 2 1.5"}},
        {"a half line at the end is being written: left out, not counted as unreadable",
         day + "10:00:00,A,1.,OK\r\n" + day + "10:00:05,A,2",
         1,
         1,
         0,
         0,
         day + "10:00:00",
         day + "10:00:00",
         0,
         "",
         {},
         true,
         {"1 1 1 1"}},
        {"a line longer than any log line is unreadable, not held whole",
         std::string(200000, 'x') + "\n" + day + "10:00:00,A,1.,OK\n",
         1,
         1,
         0,
         1,
         day + "10:00:00",
         day + "10:00:00",
         0,
         "",
         {1},
         false,
         {"1 1 1 1"}},
        {"--from and --to keep the polls between them, both ends included",
         day + "09:59:59,A,1.,OK\n" + day + "10:00:00,A,2.,OK\n" + day + "10:30:00,A,-2048000.,ERROR\n" + day
             + "11:00:00,A,3.,OK\n" + day + "11:00:01,A,4.,OK\n",
         3,
         2,
         1,
         0,
         day + "10:00:00",
         day + "11:00:00",
         1,
         "10:30:00..11:00:00 x1",
         {},
         false,
         {"2 2 3 2.5"},
         "2026-12-07 10:00",
         "2026-12-07 11:00:00"},
        {"an empty log has no polls, no times and no sensors", "", 0, 0, 0, 0, "", "", 0, "", {}, false, {}},
        {"the mean of readings near the largest number is still that number",
         day + "10:00:00,A,17" + std::string(307, '0') + ".,1.,OK\n" + day + "10:00:05,A,17"
             + std::string(307, '0') + ".,2.,OK\n",
         2,
         2,
         0,
         0,
         day + "10:00:00",
         day + "10:00:05",
         0,
         "",
         {},
         false,
         {"2 1.7e+308 1.7e+308 1.7e+308", "2 1 2 1.5"}},
        {"a spell across a clock set back (DST) lasts its polls' intervals, the step back one interval",
         day + "02:58:30,A,1.,OK\n" + day + "02:59:00,A,-2048000.,ERROR\n" + day
             + "02:59:30,A,-2048000.,ERROR\n" + day + "02:00:00,A,2.,OK\n" + day + "02:00:30,A,3.,OK\n",
         5,
         3,
         2,
         0,
         day + "02:00:00",
         day + "02:59:30",
         1,
         "02:59:00..02:00:00 x2",
         {},
         false,
         {"3 1 3 2"},
         std::nullopt,
         std::nullopt,
         0,
         60},
        {"a few polls dated 1970 (a clock not yet set) are counted but set neither first nor last poll",
         [] {
             std::string log;
             for (int i = 0; i < 5; ++i) {
                 log += "1970-01-01 00:00:0" + std::to_string(i) + ",A,-2048000.,ERROR\n";
             }
             for (int i = 0; i < 20; ++i) {
                 log += FormatLogSeconds(SecondsFromCivil({2026, 12, 7, 10, 0, 0}) + i * 5) + ",A,1.,OK\n";
             }
             return log;
         }(),
         25,
         20,
         5,
         0,
         day + "10:00:00",
         day + "10:01:35",
         1,
         "",
         {},
         false,
         {"20 1 1 1"},
         std::nullopt,
         std::nullopt,
         5},
        {"a line that comes again 1000 lines later (a RELP resend after a backlog) is one poll, counted "
         "as a repeat",
         day + "10:00:00,A,50.,OK\r\n" + DistinctPolls(1000) + day + "10:00:00,A,50.,OK\r\n" + day
             + "10:16:41,A,1.,OK\r\n",
         1002,
         1002,
         0,
         0,
         day + "10:00:00",
         day + "10:16:41",
         0,
         "",
         {},
         false,
         {"1002 1 50 1.0489"},
         std::nullopt,
         std::nullopt,
         0,
         {},
         1,
         {{1002, 1}}},
        {"a line directly after itself (a connection broken before the confirmation) is one poll",
         day + "10:00:00,A,1.,OK\r\n" + day + "10:00:00,A,1.,OK\r\n" + day + "10:00:05,A,2.,OK\r\n",
         2,
         2,
         0,
         0,
         day + "10:00:00",
         day + "10:00:05",
         0,
         "",
         {},
         false,
         {"2 1 2 1.5"},
         std::nullopt,
         std::nullopt,
         0,
         {},
         1,
         {{2, 1}}},
        {"a failed poll that arrives again after the lines that waited opens no second spell",
         day + "10:00:00,A,1.,OK\n" + day + "10:00:05,A,-2048000.,ERROR\n" + day
             + "10:00:10,A,-2048000.,ERROR\n" + day + "10:00:15,A,2.,OK\n" + day
             + "10:00:05,A,-2048000.,ERROR\n" + day + "10:00:05,A,-2048000.,ERROR\n",
         4,
         2,
         2,
         0,
         day + "10:00:00",
         day + "10:00:15",
         1,
         "10:00:05..10:00:15 x2",
         {},
         false,
         {"2 1 2 1.5"},
         std::nullopt,
         std::nullopt,
         0,
         {},
         2,
         {{5, 2}, {6, 2}}},
        {"a line that differs in one byte, even at the same time, is a poll of its own",
         day + "10:00:00,A,1.,OK\n" + day + "10:00:00,A,2.,OK\n" + day + "10:00:00,A,1.,OK\r\n",
         3,
         3,
         0,
         0,
         day + "10:00:00",
         day + "10:00:00",
         0,
         "",
         {},
         false,
         {"3 1 2 1.33333"}},
        {"a repeat with all the window's lines between is still found",
         day + "10:00:00,A,50.,OK\r\n" + DistinctPolls(static_cast<int>(RepeatWindow::kLines) - 1) + day
             + "10:00:00,A,50.,OK\r\n",
         8192,
         8192,
         0,
         0,
         day + "10:00:00",
         day + "12:16:31",
         0,
         "",
         {},
         false,
         {"8192 1 50 1.00598"},
         std::nullopt,
         std::nullopt,
         0,
         {},
         1,
         {{8193, 1}}},
        {"a repeat farther back than the window is a poll again",
         day + "10:00:00,A,50.,OK\r\n" + DistinctPolls(static_cast<int>(RepeatWindow::kLines)) + day
             + "10:00:00,A,50.,OK\r\n",
         8194,
         8194,
         0,
         0,
         day + "10:00:00",
         day + "12:16:32",
         0,
         "",
         {},
         false,
         {"8194 1 50 1.01196"}},
        {"repeats outside --from/--to and repeated lines that cannot be read are no repeats",
         day + "09:00:00,A,1.,OK\n" + day + "09:00:00,A,1.,OK\n" + "junk\n" + "junk\n" + day
             + "10:00:00,A,2.,OK\n",
         1,
         1,
         0,
         2,
         day + "10:00:00",
         day + "10:00:00",
         0,
         "",
         {3, 4},
         false,
         {"1 2 2 2"},
         "2026-12-07 10:00"},
    };
    for (const SummaryCase& c : cases) {
        // Whole, and in pieces of one byte: a line split across reads is the same line.
        for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{1}}) {
            SCOPED_TRACE(std::string(c.name) + (piece == 1 ? " (read a byte at a time)" : ""));
            std::int64_t records = 0;
            const ReportData data = Build(c, piece, &records);
            EXPECT_EQ(data.polls, c.polls);
            EXPECT_EQ(records, c.polls) << "the record sink sees other polls than the summary";
            EXPECT_EQ(data.okPolls, c.ok);
            EXPECT_EQ(data.errorPolls, c.error);
            EXPECT_EQ(data.unreadable, c.unreadable);
            EXPECT_EQ(data.first ? FormatLogSeconds(*data.first) : "", c.first);
            EXPECT_EQ(data.last ? FormatLogSeconds(*data.last) : "", c.last);
            EXPECT_EQ(data.spells, c.spells);
            EXPECT_EQ(Describe(data.longestSpell), c.longest);
            std::vector<std::int64_t> lines;
            for (const UnreadableLine& line : data.firstUnreadable) {
                lines.push_back(line.number);
            }
            EXPECT_EQ(lines, c.unreadableLines);
            EXPECT_EQ(data.halfLineAtEnd, c.halfLine);
            std::vector<std::string> sensors;
            for (const SensorSummary& s : data.sensors) {
                sensors.push_back(Describe(s));
            }
            EXPECT_EQ(sensors, c.sensors);
            EXPECT_EQ(data.farOffPolls, c.farOff);
            EXPECT_EQ(data.exactRepeats, c.repeats);
            std::vector<std::pair<std::int64_t, std::int64_t>> repeated;
            for (const RepeatedLine& line : data.firstRepeats) {
                repeated.emplace_back(line.number, line.earlier);
            }
            EXPECT_EQ(repeated, c.repeated);
            if (c.longestSeconds) {
                ASSERT_TRUE(data.longestSpell);
                EXPECT_EQ(data.longestSpell->duration, *c.longestSeconds);
            }
        }
    }
}

// A log of `seconds` polls one second apart from 2026-12-01 00:00:00 with
// two sensors: t0 a slow ramp, t1 constant; `line(i)` may replace a line.
template <typename Edit> std::string GeneratedLog(int seconds, Edit line)
{
    std::string log;
    const LogSeconds start = SecondsFromCivil({2026, 12, 1, 0, 0, 0});
    for (int i = 0; i < seconds; ++i) {
        const std::string time = FormatLogSeconds(start + i);
        std::string text = time + ",Lab," + std::to_string(i % 1000) + ".,7.,OK\r\n";
        line(i, time, text);
        log += text;
    }
    return log;
}

struct ChartFacts {
    std::size_t maxPoints = 0;
    std::vector<std::pair<std::string, std::optional<double>>> mustHold; // time, value (none: a break)
    std::size_t shadedAtMost = 0;
    std::int64_t otherDevicePolls = 0; // polls of names beyond the listed ones
    LogSeconds stepAtMost = 0;         // the charts' time step; 0: any
};

struct ChartCase {
    const char* name;
    std::string log;
    std::size_t maxSteps;
    ChartFacts facts;
};

bool Holds(const std::vector<ChartPoint>& chart, const std::string& time, const std::optional<double>& value)
{
    return std::any_of(chart.begin(), chart.end(), [&](const ChartPoint& p) {
        return FormatLogSeconds(p.time) == time && p.value == value;
    });
}

TEST(ReportBuilder, KeepsChartsBoundedWithTheirExtremesAndGaps)
{
    const auto plain = [](int, const std::string&, std::string&) {
    };
    const ChartCase cases[] = {
        {"a small log's chart holds every reading as it is",
         GeneratedLog(50, plain),
         1000,
         {50, {{"2026-12-01 00:00:00", 0.0}, {"2026-12-01 00:00:49", 49.0}}, 0}},
        {"a day at one poll a second stays within the bound and keeps a one-second spike and a failed poll",
         GeneratedLog(86400,
                      [](int i, const std::string& time, std::string& text) {
                          if (i == 40000) {
                              text = time + ",Lab,99999.,7.,OK\r\n";
                          }
                          if (i == 60000) {
                              text = time + ",Lab,-2048000.,-2048000.,ERROR\r\n";
                          }
                      }),
         500,
         {3 * 500, {{"2026-12-01 11:06:40", 99999.0}, {"2026-12-01 16:40:00", std::nullopt}}, 1}},
        {"a device flapping between good and failed polls gives a bounded number of shaded spans",
         GeneratedLog(20000,
                      [](int i, const std::string& time, std::string& text) {
                          if (i % 2 == 1) {
                              text = time + ",Lab,-2048000.,-2048000.,ERROR\r\n";
                          }
                      }),
         200,
         {3 * 200, {{"2026-12-01 00:00:01", std::nullopt}}, 201}},
        {"a clock set back an hour still gives a chart in time order",
         GeneratedLog(
             7200,
             [](int i, const std::string&, std::string& text) {
                 if (i >= 3600) {
                     const LogSeconds back = SecondsFromCivil({2026, 12, 1, 0, 0, 0}) + i - 3600 + 1800;
                     text = FormatLogSeconds(back) + ",Lab,5000.,7.,OK\r\n";
                 }
             }),
         100,
         {3 * 100, {{"2026-12-01 00:30:00", 5000.0}}, 0}},
        {"a device that names itself anew at every poll is listed within a bound, the rest counted",
         GeneratedLog(5000,
                      [](int i, const std::string& time, std::string& text) {
                          text = time + ",Dev " + std::to_string(i) + ",1.,2.,OK\r\n";
                      }),
         100,
         {3 * 100, {{"2026-12-01 00:00:00", 1.0}}, 0, 5000 - 20}},
        {"twelve hours without a poll (the logger not running) break every line",
         GeneratedLog(7200,
                      [](int i, const std::string&, std::string& text) {
                          if (i >= 3600) {
                              const LogSeconds later = SecondsFromCivil({2026, 12, 1, 12, 0, 0}) + i;
                              text = FormatLogSeconds(later) + ",Lab,5.,7.,OK\r\n";
                          }
                      }),
         100,
         {3 * 100, {{"2026-12-01 01:00:00", std::nullopt}, {"2026-12-01 13:00:00", 5.0}}, 0}},
        {"five polls dated 1970 widen no step: a day still has its fine steps",
         GeneratedLog(86400,
                      [](int i, const std::string&, std::string& text) {
                          if (i < 5) {
                              text = FormatLogSeconds(i) + ",Lab,1.,7.,OK\r\n";
                          }
                      }),
         500,
         {3 * 500, {{"2026-12-01 00:00:05", 5.0}}, 0, 0, 256}},
    };
    for (const ChartCase& c : cases) {
        SCOPED_TRACE(c.name);
        ReportBuilder builder(std::nullopt, std::nullopt, c.maxSteps);
        builder.AddBytes(c.log);
        const ReportData data = builder.Finish();
        ASSERT_EQ(data.charts.size(), 2u);
        for (const auto& chart : data.charts) {
            EXPECT_LE(chart.size(), c.facts.maxPoints);
            EXPECT_TRUE(
                std::is_sorted(chart.begin(), chart.end(),
                               [](const ChartPoint& a, const ChartPoint& b) { return a.time < b.time; }));
        }
        for (const auto& [time, value] : c.facts.mustHold) {
            EXPECT_TRUE(Holds(data.charts[0], time, value)) << time;
            if (!value) {
                EXPECT_TRUE(Holds(data.charts[1], time, value)) << "t1 " << time;
            }
        }
        EXPECT_LE(data.shadedSpells.size(), c.facts.shadedAtMost);
        EXPECT_LE(data.devices.size(), ReportBuilder::kListedDevices);
        EXPECT_EQ(data.otherDevicePolls, c.facts.otherDevicePolls);
        EXPECT_EQ(data.spells > 0, !data.shadedSpells.empty());
        if (c.facts.stepAtMost > 0) {
            EXPECT_LE(data.stepSeconds, c.facts.stepAtMost);
        }
    }
}

} // namespace
} // namespace vornix7
