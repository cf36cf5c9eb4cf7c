#include "log/log_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <ostream>
#include <string>

#include "common/runtime_error.h"
#include "decimal_comma_locale.h"
#include "named_case.h"

namespace vornix7 {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct ReadingCase {
    const char* name;
    double value;
    const char* expected;
};

using test::PrintTo;

class FormatReadingTest : public testing::TestWithParam<ReadingCase> {};

TEST_P(FormatReadingTest, WritesUpToTwoDecimalsAndAlwaysThePoint)
{
    EXPECT_EQ(FormatReading(GetParam().value), GetParam().expected);
}

TEST_P(FormatReadingTest, WritesTheSameUnderADecimalCommaLocale)
{
    const auto text = test::UnderDecimalCommaLocale([this] { return FormatReading(GetParam().value); });
    if (!text) {
        GTEST_SKIP() << test::kNoDecimalCommaLocale;
    }
    EXPECT_EQ(*text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FormatReadingTest,
    testing::Values(
        ReadingCase{"OneDecimal", 21.5, "21.5"}, ReadingCase{"AWholeNumberKeepsThePoint", 21, "21."},
        ReadingCase{"MoreDecimalsAreRounded", 3.14159, "3.14"},
        ReadingCase{"ASmallValueRoundsToZero", 0.004, "0."}, ReadingCase{"ANegativeValue", -3.25, "-3.25"},
        ReadingCase{"Zero", 0, "0."}, ReadingCase{"NoReading", -2048000.0, "-2048000."},
        ReadingCase{"ANegativeValueRoundingToZeroHasNoSign", -0.004, "0."},
        ReadingCase{"AHalfAsWrittenRoundsAwayFromZero", 2.675, "2.68"},
        ReadingCase{"AnExactHalfRoundsAwayFromZero", 0.125, "0.13"},
        ReadingCase{"ANegativeHalfRoundsAwayFromZero", -0.125, "-0.13"},
        ReadingCase{"JustBelowAHalfRoundsDown", 2.6749, "2.67"},
        ReadingCase{"RoundingCarriesIntoTheWholePart", 9.995, "10."},
        ReadingCase{"AllWholeDigitsOfALargeValue", 1e20, "100000000000000000000."},
        ReadingCase{"TheLargestDoubleHasAllItsDigits", 1.7976931348623157e308,
                    "1797693134862315708145274237317043567980705675258449965989174768031572607800285387605895"
                    "5863276687817154045895351438246423432132688946418276846754670353751698604991057655128207"
                    "6245490090389328944075868508455133942304583236903222948165808559332123348274797826204144"
                    "723168738177180919299881250404026184124858368."},
        ReadingCase{"InfinityIsOneField", kInf, "inf"},
        ReadingCase{"MinusInfinityIsOneField", -kInf, "-inf"}),
    test::CaseName());

TEST(FormatTimeStamp, PadsEveryFieldAndUsesTheGivenSeparator)
{
    const struct {
        const char* name;
        LocalDateTime time;
        char separator;
        const char* expected;
    } cases[] = {
        {"colon separator", {987, 3, 7, 9, 5, 3}, ':', "0987-03-07 09:05:03"},
        {"point separator", {2024, 3, 7, 9, 5, 3}, '.', "2024-03-07 09.05.03"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatTimeStamp(c.time, c.separator), c.expected);
    }
}

TEST(DeviceNameField, KeepsTheNameInOneCsvField)
{
    const struct {
        const char* name;
        std::string deviceName;
        std::string expected;
        CodePageKind codePage = CodePageKind::kUtf8;
    } cases[] = {
        {"a plain name is unchanged", "Lab North", "Lab North"},
        {"outer spaces are dropped", "  Lab  ", "Lab"},
        {"tabs are kept", "\tLab\t", "\tLab\t"},
        {"a comma makes it quoted", "Lab,North", "\"Lab,North\""},
        {"inner quotes are doubled", "Say \"hi\"", "\"Say \"\"hi\"\"\""},
        {"CR and LF become blanks", "Lab\r\nNorth", "Lab  North"},
        {"NUL becomes a blank", std::string("Lab\0North", 9), "Lab North"},
        {"empty stays empty", "", ""},
        {"only blanks and line ends give empty", " \r\n ", ""},
        {"escape sequences lose their control bytes", "\x1b[31mLab\x7f\x07", "[31mLab"},
        {"a formula is shown as text", "=1+2", "'=1+2"},
        {"a formula after outer spaces is shown as text", "  @SUM(1+1)", "'@SUM(1+1)"},
        {"a leading plus or minus is shown as text", "-2+3", "'-2+3"},
        {"a quoted formula gets the guard inside the quotes", "=HYPERLINK(\"x\",\"y\")",
         "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
        {"a sign inside the name is left alone", "Lab-North +1", "Lab-North +1"},
        {"C1 controls written in UTF-8 become one blank each",
         "Lab\xC2\x9B"
         "31mX\xC2\x9D"
         "0;t\xC2\x9C"
         "Y",
         "Lab 31mX 0;t Y"},
        {"a lone byte from 0x80 to 0x9F becomes a blank",
         "Lab\x9B"
         "31m\x9D"
         "x\x80",
         "Lab 31m x"},
        {"UTF-8 characters whose bytes lie in 0x80 to 0x9F stay",
         "Caf\xC3\xA9 \xC4\x80 \xC3\x9B \xE2\x82\xAC \xF0\x9F\x98\x80",
         "Caf\xC3\xA9 \xC4\x80 \xC3\x9B \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"an overlong or cut sequence does not hide a C1 byte",
         "A\xE0\x80\x9B"
         "B\xC3\x9B\x9B"
         "C\xE2\x82",
         "A\xE0  B\xC3\x9B C\xE2"},
        {"in code page 1252 the bytes 0x80 to 0x9F are characters and stay", "\x80 5 \x93Lab\x94 \x9B",
         "\x80 5 \x93Lab\x94 \x9B", CodePageKind::kOther},
        {"in code page 1252 the other control bytes still become blanks", "\x1b[31mLab\x85\r\n",
         "[31mLab\x85", CodePageKind::kOther},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DeviceNameField(c.deviceName, c.codePage), c.expected);
    }
}

SensorTable ExampleTable()
{
    SensorTable table;
    table.SensorValue = {21.5, 48, -3.25, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16};
    table.DeviceName = "Lab North";
    table.PollTime = {2024, 3, 7, 9, 5, 3};
    return table;
}

TEST(FormatLogLine, WritesStampNameReadingsStatusAndOneLineEnd)
{
    SensorTable failed = ExampleTable();
    failed.SensorValue.fill(NoReading);
    SensorTable awkward = ExampleTable();
    awkward.DeviceName = "Lab\r\nNorth,\"A\"\n";
    const struct {
        const char* name;
        SensorTable table;
        int lastSensor;
        const char* status;
        char separator;
        std::string expected;
    } cases[] = {
        {"a successful poll", ExampleTable(), 2, "OK", ':',
         "2024-03-07 09:05:03,Lab North,21.5,48.,-3.25,OK\r\n"},
        {"a failed poll", failed, 2, "ERROR", ':',
         "2024-03-07 09:05:03,Lab North,-2048000.,-2048000.,-2048000.,ERROR\r\n"},
        {"the time separator is passed on", ExampleTable(), 0, "OK", '.',
         "2024-03-07 09.05.03,Lab North,21.5,OK\r\n"},
        {"no sensors in use", ExampleTable(), -1, "OK", ':', "2024-03-07 09:05:03,Lab North,OK\r\n"},
        {"a name with line ends and a comma", awkward, 0, "OK", ':',
         "2024-03-07 09:05:03,\"Lab  North,\"\"A\"\"\",21.5,OK\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string line = FormatLogLine(c.table, c.lastSensor, c.status, c.separator);
        EXPECT_EQ(line, c.expected);
        EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << "one CR LF, at the very end";
    }
}

TEST(FormatLogLine, HasTimeStampNameOneFieldPerSensorAndStatus)
{
    for (int lastSensor = -3; lastSensor <= 16; ++lastSensor) {
        SCOPED_TRACE("LastSensor " + std::to_string(lastSensor));
        const std::string line = FormatLogLine(ExampleTable(), lastSensor, "OK", ':');
        const auto fields = std::count(line.begin(), line.end(), ',') + 1;
        EXPECT_EQ(fields, 3 + std::max(lastSensor + 1, 0));
    }
}

TEST(FormatLogLine, ThrowsSubscriptOutOfRangeAboveSensorSixteen)
{
    for (int lastSensor : {17, 1000}) {
        SCOPED_TRACE("LastSensor " + std::to_string(lastSensor));
        try {
            FormatLogLine(ExampleTable(), lastSensor, "OK", ':');
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.kind(), "Subscript out of range");
        }
    }
}

} // namespace
} // namespace vornix7
