#include "tools/report/log_reading.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vornix7 {
namespace {

using Readings = std::vector<std::optional<double>>;

struct LineCase {
    const char* name;
    std::string line;
    bool read;        // false: a problem
    std::string time; // as "YYYY-MM-DD hh:mm:ss"
    std::string deviceName;
    bool ok = false;
    Readings readings;
};

// ",0.5,1.5,...": `count` readings as fields.
std::string ReadingFields(int count)
{
    std::string fields;
    for (int i = 0; i < count; ++i) {
        fields += "," + std::to_string(i) + ".5";
    }
    return fields;
}

Readings SeventeenValues()
{
    Readings values;
    for (int i = 0; i < 17; ++i) {
        values.emplace_back(i + 0.5);
    }
    return values;
}

TEST(ParseLogLine, ReadsWhatTheLoggerAndEarlierVersionsWrote)
{
    const auto no = std::nullopt;
    const LineCase cases[] = {
        {"the logger's own line with its CR is read",
         "2026-12-07 14:03:05,Lab North,21.5,48.,-3.25,OK\r",
         true,
         "2026-12-07 14:03:05",
         "Lab North",
         true,
         {21.5, 48.0, -3.25}},
        {"a failed poll's markers are no readings",
         "2026-12-07 14:03:11,Lab North,-2048000.,-2048000.,ERROR",
         true,
         "2026-12-07 14:03:11",
         "Lab North",
         false,
         {no, no}},
        {"'.' as the time separator is read",
         "2026-12-07 14.03.05,Lab,1.,OK",
         true,
         "2026-12-07 14:03:05",
         "Lab",
         true,
         {1.0}},
        {"',' as the time separator, as old versions wrote it, is read",
         "2026-12-07 14,03,05,Lab,1.,OK",
         true,
         "2026-12-07 14:03:05",
         "Lab",
         true,
         {1.0}},
        {"a time separator of several bytes is read",
         "2026-12-07 14\xE2\x88\xB6"
         "03\xE2\x88\xB6"
         "05,Lab,1.,OK",
         true,
         "2026-12-07 14:03:05",
         "Lab",
         true,
         {1.0}},
        {"a quoted name keeps its comma and its undoubled quotes",
         "2026-12-07 14:03:05,\"Lab, \"\"N\"\"\",1.,OK",
         true,
         "2026-12-07 14:03:05",
         "Lab, \"N\"",
         true,
         {1.0}},
        {"an unquoted name with a comma, as earlier versions wrote it, stays one name",
         "2026-12-07 14:03:05,Lab, North,21.5,2.,OK",
         true,
         "2026-12-07 14:03:05",
         "Lab, North",
         true,
         {21.5, 2.0}},
        {"a name that looks like a reading stays the name",
         "2026-12-07 14:03:05,7.5,1.,OK",
         true,
         "2026-12-07 14:03:05",
         "7.5",
         true,
         {1.0}},
        {"the logger's formula guard is taken off the name",
         "2026-12-07 14:03:05,'=SUM(A1),1.,OK",
         true,
         "2026-12-07 14:03:05",
         "=SUM(A1)",
         true,
         {1.0}},
        {"an empty name and no readings (LastSensor -1) is read",
         "2026-12-07 23:59:59,,ERROR",
         true,
         "2026-12-07 23:59:59",
         "",
         false,
         {}},
        {"-2048000. in a good poll is no reading either",
         "2026-12-07 14:03:05,Lab,-2048000.,0.,OK",
         true,
         "2026-12-07 14:03:05",
         "Lab",
         true,
         {no, 0.0}},
        {"inf and nan are no readings",
         "2026-12-07 14:03:05,Lab,inf,-inf,nan,OK",
         true,
         "2026-12-07 14:03:05",
         "Lab",
         true,
         {no, no, no}},
        {"seventeen readings are read", "2026-12-07 14:03:05,Lab" + ReadingFields(17) + ",OK", true,
         "2026-12-07 14:03:05", "Lab", true, SeventeenValues()},
        {"a leap day is a date",
         "2028-02-29 00:00:00,Lab,1.,OK",
         true,
         "2028-02-29 00:00:00",
         "Lab",
         true,
         {1.0}},

        {"eighteen readings after a quoted name are too many",
         "2026-12-07 14:03:05,\"A,B\"" + ReadingFields(18) + ",OK",
         false,
         "",
         "",
         false,
         {}},
        {"a status other than OK or ERROR is not read",
         "2026-12-07 14:03:05,Lab,1.,ok",
         false,
         "",
         "",
         false,
         {}},
        {"a reading that is no number is not read",
         "2026-12-07 14:03:05,\"A,B\",x1,OK",
         false,
         "",
         "",
         false,
         {}},
        {"a damaged reading after an unquoted name is not read",
         "2026-12-07 14:03:05,Lab,1.,x,3.,OK",
         false,
         "",
         "",
         false,
         {}},
        {"a reading without its '.' is not read",
         "2026-12-07 14:03:05,\"A\",21,OK",
         false,
         "",
         "",
         false,
         {}},
        {"February 30th is not read", "2026-02-30 14:03:05,Lab,1.,OK", false, "", "", false, {}},
        {"hour 24 is not read", "2026-12-07 24:00:00,Lab,1.,OK", false, "", "", false, {}},
        {"two different time separators are not read",
         "2026-12-07 14:03.05,Lab,1.,OK",
         false,
         "",
         "",
         false,
         {}},
        {"an empty line is not read", "\r", false, "", "", false, {}},
        {"binary junk is not read", std::string("\0\xff\x1b[2J", 6), false, "", "", false, {}},
        {"a time stamp alone is not read", "2026-12-07 14:03:05", false, "", "", false, {}},
        {"a name without a status is not read", "2026-12-07 14:03:05,Lab", false, "", "", false, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ParsedLine parsed = ParseLogLine(c.line);
        ASSERT_EQ(parsed.record.has_value(), c.read) << parsed.problem;
        if (!c.read) {
            EXPECT_FALSE(parsed.problem.empty());
            continue;
        }
        EXPECT_EQ(FormatLogSeconds(parsed.record->time), c.time);
        EXPECT_EQ(parsed.record->deviceName, c.deviceName);
        EXPECT_EQ(parsed.record->ok, c.ok);
        EXPECT_EQ(parsed.record->readings, c.readings);
    }
}

struct TimeCase {
    const char* name;
    std::string text;
    bool endOfDay;
    std::optional<std::string> time;
};

TEST(ParseTimeArgument, TakesADateOrADateAndTime)
{
    const TimeCase cases[] = {
        {"a date alone is its first second", "2026-12-07", false, "2026-12-07 00:00:00"},
        {"a date alone as an end is its last second", "2026-12-07", true, "2026-12-07 23:59:59"},
        {"hours and minutes are read", "2026-12-07 14:03", false, "2026-12-07 14:03:00"},
        {"a 'T' may stand between date and time", "2026-12-07T14:03:05", false, "2026-12-07 14:03:05"},
        {"the log's own '.' separator is read", "2026-12-07 14.03.05", true, "2026-12-07 14:03:05"},
        {"a time after the last day of the year rolls into no other day", "2026-12-31 23:59:59", false,
         "2026-12-31 23:59:59"},
        {"text after the time is refused", "2026-12-07 14:03:05x", false, std::nullopt},
        {"a month 13 is refused", "2026-13-01", false, std::nullopt},
        {"an empty text is refused", "", false, std::nullopt},
    };
    for (const TimeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto seconds = ParseTimeArgument(c.text, c.endOfDay);
        ASSERT_EQ(seconds.has_value(), c.time.has_value());
        if (seconds) {
            EXPECT_EQ(FormatLogSeconds(*seconds), *c.time);
        }
    }
}

struct RepeatCase {
    const char* name;
    std::size_t maxLines, maxBytes;
    std::vector<std::string> lines;            // numbered from 1
    std::vector<std::optional<int>> repeating; // per line: the line it repeats
};

TEST(RepeatWindow, FindsExactRepeatsOfTheLastLinesWithinItsBounds)
{
    const auto no = std::nullopt;
    const RepeatCase cases[] = {
        {"a line kept is found again, byte for byte", 3, 100, {"a", "b", "c", "a", "c"}, {no, no, no, 1, 3}},
        {"a line that differs in one byte, or only in length, is none",
         10,
         100,
         {"abc", "abd", "ab", "abc\r", "abc "},
         {no, no, no, no, no}},
        {"beyond the last maxLines lines a line is forgotten and kept anew",
         3,
         100,
         {"a", "b", "c", "d", "a", "a"},
         {no, no, no, no, no, 5}},
        {"a repeat is not kept again, so it does not push the others out",
         2,
         100,
         {"a", "b", "a", "a", "b"},
         {no, no, 1, 1, 2}},
        {"the oldest lines are forgotten to stay within maxBytes",
         10,
         5,
         {"aa", "bb", "cc", "aa", "cc"},
         {no, no, no, no, 3}},
        {"a line longer than maxBytes is never kept", 10, 5, {"abcdef", "abcdef"}, {no, no}},
    };
    for (const RepeatCase& c : cases) {
        SCOPED_TRACE(c.name);
        RepeatWindow window(c.maxLines, c.maxBytes);
        std::vector<std::optional<int>> repeating;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            const auto earlier = window.Repeats(c.lines[i], static_cast<std::int64_t>(i + 1));
            repeating.push_back(earlier ? std::optional<int>(static_cast<int>(*earlier)) : std::nullopt);
        }
        EXPECT_EQ(repeating, c.repeating);
    }
}

} // namespace
} // namespace vornix7
