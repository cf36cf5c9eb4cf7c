#include "acquisition/poll_result.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/runtime_error.h"

namespace vornix7 {
namespace {

class FakeClock final : public Clock {
public:
    LocalDateTime now() const override { return time; }
    LocalDateTime time{2031, 12, 24, 23, 59, 0};
};

class MemorySink final : public LineSink {
public:
    void Append(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

const std::string kFullPage = "<html><devicename>Lab North</devicename><table>"
                              "<tr><td><t0>21.5</t0></td><td><t1>48</t1></td><td><t2>-3.25</t2></td></tr>"
                              "<tr><td><t3>1</t3><t4>2</t4><t5>3</t5><t6>4</t6><t7> 5.5 C</t7></td></tr>"
                              "<t8>8</t8><t16>16</t16></table></html>";

// The poll result against a fake clock and an in-memory log.
class PollResultTest : public testing::Test {
protected:
    // Polls each page in turn; poll n happens at second n of the fake clock.
    void Poll(const std::vector<std::string>& pages)
    {
        for (std::size_t n = 0; n < pages.size(); ++n) {
            clock_.time.second = static_cast<int>(n);
            store_.StorePollResult(pages[n]);
        }
    }
    SettingsRecord settings_{5, "http://x/", 0, 1, 1, "log.csv", 7};
    SensorTable table_;
    FakeClock clock_;
    MemorySink sink_;
    PollResultStore store_{settings_, table_, clock_, sink_, ':'};
};

constexpr double X = NoReading;

TEST_F(PollResultTest, StoresReadingsAndWritesTheLinesTheSettingsAskFor)
{
    const std::string t = "2031-12-24 23:59:0"; // poll n is logged at second n
    const struct {
        const char* name;
        int useLogFile, lastSensor;
        std::vector<std::string> pages;
        std::vector<double> readings; // slots from 0; the rest stay 0
        const char* deviceName;
        std::vector<std::string> lines;
    } cases[] = {
        // clang-format off
        {"with the defaults a full page gives eight readings and one OK line", 1, 7, {kFullPage},
         {21.5, 48, -3.25, 1, 2, 3, 4, 5.5}, "Lab North", {t + "0,Lab North,21.5,48.,-3.25,1.,2.,3.,4.,5.5,OK\r\n"}},
        {"UseLogFile 0 stores the readings but writes no line", 0, 2, {kFullPage},
         {21.5, 48, -3.25}, "Lab North", {}},
        {"UseLogFile -1 stores the readings but writes no line", -1, 2, {kFullPage},
         {21.5, 48, -3.25}, "Lab North", {}},
        {"a failed poll after a success gives NoReading and keeps the name", 1, 2, {kFullPage, ""},
         {X, X, X}, "Lab North", {t + "0,Lab North,21.5,48.,-3.25,OK\r\n",
                                  t + "1,Lab North,-2048000.,-2048000.,-2048000.,ERROR\r\n"}},
        {"a failed poll is logged even with UseLogFile 0", 0, 2, {kFullPage, ""},
         {X, X, X}, "Lab North", {t + "1,Lab North,-2048000.,-2048000.,-2048000.,ERROR\r\n"}},
        {"a failed first poll is logged with an empty name", 1, 1, {""},
         {X, X}, "", {t + "0,,-2048000.,-2048000.,ERROR\r\n"}},
        {"LastSensor 16 reads all seventeen slots", 1, 16, {kFullPage},
         {21.5, 48, -3.25, 1, 2, 3, 4, 5.5, 8, 0, 0, 0, 0, 0, 0, 0, 16}, "Lab North",
         {t + "0,Lab North,21.5,48.,-3.25,1.,2.,3.,4.,5.5,8.,0.,0.,0.,0.,0.,0.,0.,16.,OK\r\n"}},
        {"LastSensor -1 reads no slot and logs three fields", 1, -1, {kFullPage, ""},
         {}, "Lab North", {t + "0,Lab North,OK\r\n", t + "1,Lab North,ERROR\r\n"}},
        {"a page without elements gives 0 and an empty name", 1, 1, {"<html>offline?</html>"},
         {}, "", {t + "0,,0.,0.,OK\r\n"}},
        {"a page without a name clears the stored name", 1, 0, {kFullPage, "<t0>7</t0>"},
         {7}, "", {t + "0,Lab North,21.5,OK\r\n", t + "1,,7.,OK\r\n"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings_.UseLogFile = c.useLogFile;
        settings_.LastSensor = c.lastSensor;
        table_ = SensorTable{};
        sink_.lines.clear();
        Poll(c.pages);
        std::vector<double> readings = c.readings;
        readings.resize(kSensorSlots, 0.0);
        EXPECT_EQ(std::vector<double>(table_.SensorValue.begin(), table_.SensorValue.end()), readings);
        EXPECT_EQ(table_.DeviceName, c.deviceName);
        EXPECT_EQ(table_.PollTime, clock_.time);
        EXPECT_EQ(sink_.lines, c.lines);
    }
}

TEST_F(PollResultTest, LastSensor17ThrowsSubscriptOutOfRangeBeforeAnythingIsWritten)
{
    settings_.LastSensor = 17;
    for (const std::string& page : {kFullPage, std::string()}) {
        SCOPED_TRACE(page.empty() ? "failed poll" : "successful poll");
        table_ = SensorTable{};
        try {
            store_.StorePollResult(page);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.kind(), "Subscript out of range");
        }
        EXPECT_TRUE(sink_.lines.empty());
        EXPECT_EQ(table_.SensorValue, SensorTable{}.SensorValue);
        EXPECT_EQ(table_.DeviceName, "");
        EXPECT_EQ(table_.PollTime, LocalDateTime{});
    }
}

} // namespace
} // namespace vornix7
