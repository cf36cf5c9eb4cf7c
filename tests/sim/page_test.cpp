#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <span>

#include "options.h"
#include "page.h"

namespace vornix7::sim {
namespace {

TEST(Page, BuildsNameAndOneElementPerValueVerbatim)
{
    EXPECT_EQ(BuildPage("Lab North", {"21.5", "48", "1E400"}),
              "<html><head><title>VORNIX7</title></head><body>\n"
              "<devicename>Lab North</devicename>\n"
              "<t0>21.5</t0>\n<t1>48</t1>\n<t2>1E400</t2>\n"
              "</body></html>\n");
    const std::string name("a<b>\0\xfe", 6);
    EXPECT_NE(BuildPage(name, {}).find("<devicename>" + name + "</devicename>"), std::string::npos);
}

TEST(Page, FormatHundredthsDropsTrailingZeros)
{
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "0"},     {5, "0.05"},     {-5, "-0.05"}, {10, "0.1"},    {2150, "21.5"},
        {4800, "48"}, {-325, "-3.25"}, {-100, "-1"},  {-4000, "-40"}, {8599, "85.99"},
    };
    for (const auto& [hundredths, text] : cases)
        EXPECT_EQ(FormatHundredths(hundredths), text) << hundredths;
}

TEST(RandomWalk, SameSeedSamePagesOtherSeedOthers)
{
    RandomWalk a(5, 42), b(5, 42), c(5, 43);
    for (int i = 0; i < 3; ++i) {
        const auto va = a.Next();
        EXPECT_EQ(va, b.Next());
        EXPECT_NE(va, c.Next());
    }
}

TEST(RandomWalk, MovesInSmallStepsWithinBounds)
{
    RandomWalk walk(kSensorSlots, 7);
    // The values a page shows, in hundredths: each step's texts are the
    // values before that step.
    const auto shown = [&walk] {
        std::vector<std::int64_t> hundredths;
        for (const auto& text : walk.Next()) {
            const double value = std::strtod(text.c_str(), nullptr) * 100;
            hundredths.push_back(std::llround(value));
            EXPECT_NEAR(value, static_cast<double>(hundredths.back()), 1e-6) << text;
        }
        return hundredths;
    };
    auto previous = shown();
    ASSERT_EQ(previous.size(), 17u);
    for (const auto v : previous) {
        EXPECT_GE(v, RandomWalk::kStartMin);
        EXPECT_LE(v, RandomWalk::kStartMax);
    }
    bool moved = false;
    for (int step = 0; step < 20000; ++step) {
        const auto now = shown();
        for (std::size_t i = 0; i < now.size(); ++i) {
            ASSERT_LE(std::abs(now[i] - previous[i]), RandomWalk::kMaxStep);
            ASSERT_GE(now[i], RandomWalk::kMinHundredths);
            ASSERT_LE(now[i], RandomWalk::kMaxHundredths);
            moved = moved || now[i] != previous[i];
        }
        previous = now;
    }
    EXPECT_TRUE(moved);
}

TEST(SizedBody, PageThenBlankLinesFromAnyOffset)
{
    const std::string page = "<p>";
    std::string whole(200, '?');
    SizedBodySlice(page, 0, whole);
    EXPECT_EQ(whole.substr(0, 3), page);
    EXPECT_EQ(whole.substr(3, 64), std::string(63, ' ') + "\n");
    EXPECT_EQ(whole.find_first_not_of(" \n", 3), std::string::npos);
    for (const std::size_t offset : {1u, 3u, 65u, 66u, 150u}) {
        std::string piece(30, '?');
        SizedBodySlice(page, offset, piece);
        EXPECT_EQ(piece, whole.substr(offset, 30)) << offset;
    }
}

TEST(Garbage, HoldsTroublesomeBytesAndDependsOnlyOnSeed)
{
    std::string once(4096, 0), pieces(4096, 0);
    GarbageStream(9).Fill(once);
    GarbageStream split(9);
    split.Fill(std::span(pieces).first(1000));
    split.Fill(std::span(pieces).subspan(1000));
    EXPECT_EQ(once, pieces);
    for (const char c : {'\0', '\r', '\n', '<', '>'})
        EXPECT_NE(once.substr(0, 40).find(c), std::string::npos) << int(c);
    std::string other(4096, 0);
    GarbageStream(10).Fill(other);
    EXPECT_NE(once, other);
}

} // namespace
} // namespace vornix7::sim
