#include "acquisition/tag_extraction.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace vornix7 {
namespace {

struct ExtractCase {
    const char* name;
    std::string page;
    const char* tag;
    std::string expected;
};

void PrintTo(const ExtractCase& c, std::ostream* out)
{
    *out << c.name;
}

class ExtractTagValueTest : public testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractTagValueTest, GivesTheContentOfTheFirstElement)
{
    EXPECT_EQ(ExtractTagValue(GetParam().page, GetParam().tag), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ExtractTagValueTest,
    testing::Values(
        ExtractCase{"AReadingOfSensorThree", "<p><T3>7.25</T3></p>", "t3", "7.25"},
        ExtractCase{"TheDeviceNameKeepsItsCase", "<DeviceName>Lab North</devicename>", "devicename",
                    "Lab North"},
        ExtractCase{"T1IsNotT10", "<t10>10</t10><t1>1</t1>", "t1", "1"},
        ExtractCase{"T10IsNotT1", "<t1>1</t1><t10>10</t10>", "t10", "10"},
        ExtractCase{"AMissingOpeningTagGivesEmptyText", "5</t0>", "t0", ""},
        ExtractCase{"AMissingClosingTagGivesEmptyText", "<t0>5<t1>6</t1>", "t0", ""},
        ExtractCase{"TheFirstOccurrenceCounts", "<t0>1</t0><t0>2</t0>", "t0", "1"},
        ExtractCase{"AnEmptyElement", "<t0></t0>", "t0", ""},
        ExtractCase{"ATagWithAttributesIsNotTheTag", "<t0 unit=C>5</t0>", "t0", ""},
        ExtractCase{"AStrayClosingTagBeforeTheElementIsPassedOver", "</t0>junk<t0>5</t0>", "t0", "5"},
        ExtractCase{"TheContentIsVerbatim", "<t0> 21.5 \r\n<b>C</b>\t</t0>", "t0", " 21.5 \r\n<b>C</b>\t"},
        ExtractCase{"ARepeatedOpeningTagBelongsToTheContent", "<t0>a<t0>b</t0>", "t0", "a<t0>b"},
        ExtractCase{"ADoubleAngleBracketStillOpens", "<<t1>5</t1>", "t1", "5"},
        ExtractCase{"AnElementAtTheVeryEndOfThePage", "x<t16>-1</t16>", "t16", "-1"},
        ExtractCase{"AnUnfinishedTagAtTheEndIsNoTag", "<t0>5</t0", "t0", ""},
        ExtractCase{"AnEmptyPage", "", "t0", ""}),
    [](const testing::TestParamInfo<ExtractCase>& info) { return std::string(info.param.name); });

// The rule in its plainest form: find "<tag>", then "</tag>" after it.
std::string PlainSearch(const std::string& page, const std::string& tag)
{
    const auto fold = [](std::string text) {
        for (char& c : text) {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return text;
    };
    const std::string lower = fold(page);
    const std::size_t open = lower.find("<" + fold(tag) + ">");
    if (open == std::string::npos) {
        return {};
    }
    const std::size_t start = open + tag.size() + 2;
    const std::size_t close = lower.find("</" + fold(tag) + ">", start);
    return close == std::string::npos ? std::string() : page.substr(start, close - start);
}

const std::vector<std::string> kTags = {"t0", "t1", "t10", "t16", "devicename"};

void ExpectAllAgree(const std::string& page)
{
    for (std::size_t i = 0; i < kTags.size(); ++i) {
        SCOPED_TRACE("tag " + kTags[i]);
        const std::string expected = PlainSearch(page, kTags[i]);
        EXPECT_EQ(ExtractTagValue(page, kTags[i]), expected);
    }
}

TEST(TagSearch, ExtractTagValueAgreesWithAPlainSearchOnTrickyPages)
{
    const std::string pages[] = {
        "<t0>1</t0><t1>2</t1><t10>3</t10><t16>4</t16><devicename>D</devicename>",
        "<t1><t10>nested</t10></t1><t0><t1>x</t1></t0>",
        "<t0>a</t0><t0>b</t0><T1>c</t1><t1>d</T1>",
        "<t0>unclosed<t1>1</t1><devicename>never closed",
        "<<t1>>5</t1><</t10>><t10>6<//t10></t10>",
        "<DEVICENAME>Lab</DeviceName><T16>9</T16>",
        "</t0></t1></devicename><t0>0</t0><t1>1</t1><devicename>n</devicename>",
        "<devicenamex>no</devicenamex><devicename >no</devicename><devicename>yes</devicename>",
        "<t1>a</t10></t1><t16",
    };
    for (const std::string& page : pages) {
        SCOPED_TRACE(page);
        ExpectAllAgree(page);
    }
}

TEST(TagSearch, ExtractTagValueAgreesWithAPlainSearchOnRandomTagSoup)
{
    const std::vector<std::string> pieces = {"<t0>",   "</t0>", "<T1>",   "</t1>",        "<t10>",
                                             "</T10>", "<t16>", "</t16>", "<devicename>", "</DeviceName>",
                                             "<",      "</",    ">",      "t1",           "x",
                                             "5",      " ",     "<t1",    "devicename>"};
    std::mt19937 random(42);
    for (int round = 0; round < 2000; ++round) {
        std::string page;
        for (std::size_t n = random() % 24; n > 0; --n) {
            page += pieces[random() % pieces.size()];
        }
        SCOPED_TRACE(page);
        ExpectAllAgree(page);
        if (HasFailure()) {
            return; // one failing page says enough
        }
    }
}

} // namespace
} // namespace vornix7
