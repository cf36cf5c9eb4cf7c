#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/ascii.h"
#include "named_case.h"
#include "platform/system.h"

namespace vornix7 {
namespace {

struct LookupCase {
    const char* name;
    std::string contents;
    std::string expected; // looked up as [Settings] PollInterval, default "5"
};

using test::PrintTo;

class IniLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(IniLookup, GivesTheValueUsersExpect)
{
    const LookupCase& c = GetParam();
    EXPECT_EQ(ReadIniValue("Settings", "PollInterval", "5", IniFile(c.contents)), c.expected);
}

// The listing a settings check works from must read every line as the lookup does.
TEST_P(IniLookup, EntriesGiveWhatTheLookupGives)
{
    const LookupCase& c = GetParam();
    std::string found = "5";
    bool inSettings = false;
    for (const IniEntry& entry : IniFile(c.contents).Entries()) {
        if (entry.isSection) {
            inSettings = EqualsIgnoringAsciiCase(entry.section, "Settings");
        } else if (inSettings && EqualsIgnoringAsciiCase(entry.key, "PollInterval")) {
            EXPECT_FALSE(entry.aboveFirstSection);
            found = entry.value;
            break;
        }
    }
    EXPECT_EQ(found, c.expected);
}

TEST(IniEntries, CountLinesAsAnEditorDoesAndTellKeysAboveEverySection)
{
    const std::vector<IniEntry> entries = IniFile("\xEF\xBB\xBF"
                                                  "a=1\r\n; note\r\n\r\n[S]\rb = \" x \" \nc\n[T]\n")
                                              .Entries();
    ASSERT_EQ(entries.size(), 4U);
    EXPECT_EQ(entries[0].lineNumber, 1U);
    EXPECT_TRUE(entries[0].aboveFirstSection);
    EXPECT_EQ(entries[1].lineNumber, 4U);
    EXPECT_TRUE(entries[1].isSection);
    EXPECT_EQ(entries[1].section, "S");
    EXPECT_EQ(entries[2].lineNumber, 5U);
    EXPECT_EQ(entries[2].section, "S");
    EXPECT_EQ(entries[2].key, "b");
    EXPECT_EQ(entries[2].value, " x ");
    EXPECT_TRUE(entries[2].quoted);
    EXPECT_FALSE(entries[2].aboveFirstSection);
    EXPECT_EQ(entries[3].lineNumber, 7U);
    EXPECT_EQ(entries[3].section, "T");
}

const std::string kLong(1500, 'x');

// UTF-16 with its byte-order mark, as Windows Notepad saves "Unicode";
// `units` as they stand in memory.
std::string Utf16Le(std::u16string_view units)
{
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string Utf16Be(std::u16string_view units)
{
    std::string bytes = "\xFE\xFF";
    for (const char16_t unit : units) {
        bytes += static_cast<char>(unit >> 8);
        bytes += static_cast<char>(unit & 0xFF);
    }
    return bytes;
}

// "Prüfung ä" as 8-bit text in the system's code page: UTF-8 on Linux, and
// under Wine here the Western code page 1252 (ü and ä are 0xFC and 0xE4 in
// it and its kin).
const bool kUtf8CodePage = SystemCodePageKind() == CodePageKind::kUtf8;
const std::string kPruefung = kUtf8CodePage ? "Pr\xC3\xBC"
                                              "fung \xC3\xA4"
                                            : "Pr\xFC"
                                              "fung \xE4";

INSTANTIATE_TEST_SUITE_P(
    Rules, IniLookup,
    testing::Values(
        LookupCase{"SectionAndKeyMatchWithoutRegardToCase", "[SETTINGS]\npollinterval=9\n", "9"},
        LookupCase{"BlanksAroundNamesAndValueAreDropped", " [ Settings ] \n\t PollInterval \t= \t9 x \t\n",
                   "9 x"},
        LookupCase{"MatchingDoubleQuotesAreRemoved", "[Settings]\nPollInterval=\" 9 \"\n", " 9 "},
        LookupCase{"MatchingSingleQuotesAreRemoved", "[Settings]\nPollInterval='9'\n", "9"},
        LookupCase{"MismatchedQuotesAreKept", "[Settings]\nPollInterval=\"9'\n", "\"9'"},
        LookupCase{"ALoneQuoteIsKept", "[Settings]\nPollInterval=\"\n", "\""},
        LookupCase{"OnlyOnePairOfQuotesIsRemoved", "[Settings]\nPollInterval=''9''\n", "'9'"},
        LookupCase{"AnEmptyValueGivesEmptyTextNotTheDefault", "[Settings]\nPollInterval=\n", ""},
        LookupCase{"EmptyQuotesGiveEmptyText", "[Settings]\nPollInterval=\"\"\n", ""},
        LookupCase{"AMissingKeyGivesTheDefault", "[Settings]\nPoll=9\nInterval=8\n", "5"},
        LookupCase{"AMissingSectionGivesTheDefault", "[Other]\nPollInterval=9\n", "5"},
        LookupCase{"AKeyBeforeAnySectionIsNotFound", "PollInterval=9\n[Settings]\n", "5"},
        LookupCase{"AKeyOfTheNextSectionIsNotFound", "[Settings]\n[Other]\nPollInterval=9\n", "5"},
        LookupCase{"TheFirstOccurrenceWins", "[Settings]\nPollInterval=1\nPollInterval=2\n", "1"},
        LookupCase{"TheFirstOccurrenceWinsAcrossRepeatedSections",
                   "[Settings]\nPollInterval=1\n[Other]\n[Settings]\nPollInterval=2\n", "1"},
        LookupCase{"ARepeatedSectionIsSearchedToo",
                   "[Settings]\nA=1\n[Other]\nPollInterval=3\n[Settings]\nPollInterval=2", "2"},
        LookupCase{"ALineWithoutEqualsMatchesNoKey", "[Settings]\nPollInterval\nPollInterval=2\n", "2"},
        LookupCase{"OnlyTheFirstEqualsSplits", "[Settings]\nPollInterval==a=b\n", "=a=b"},
        LookupCase{"CrLfLinesReadLikeLfLines", "[Settings]\r\nPollInterval=9\r\nX=1\r\n", "9"},
        LookupCase{"CrOnlyLinesReadLikeLfLines", "[Settings]\rPollInterval=9\rX=1\r", "9"},
        LookupCase{"AByteOrderMarkIsSkipped", "\xEF\xBB\xBF[Settings]\nPollInterval=9\n", "9"},
        LookupCase{"ALongValueIsCutTo999Bytes", "[Settings]\nPollInterval=" + kLong + "\n",
                   kLong.substr(0, 999)},
        LookupCase{"AQuotedLongValueIsCutAfterUnquoting", "[Settings]\nPollInterval=\"" + kLong + "\"\n",
                   kLong.substr(0, 999)},
        LookupCase{"AnEmptyFileGivesTheDefault", "", "5"},
        LookupCase{"AUtf16LeFileReadsLikeThe8BitText", Utf16Le(u"[SETTINGS]\r\n pollinterval = '9 x'\r\n"),
                   "9 x"},
        LookupCase{"AUtf16BeFileReadsLikeThe8BitText", Utf16Be(u"[Settings]\nPollInterval=9\n"), "9"},
        LookupCase{"ALoneSurrogateInUtf16BecomesAQuestionMark",
                   Utf16Le(u"[Settings]\nPollInterval=9\xD800x\n"), "9?x"},
        LookupCase{"ALongUtf16ValueIsCutTo999Bytes",
                   Utf16Le(u"[Settings]\nPollInterval=" + std::u16string(1500, u'x')), kLong.substr(0, 999)},
        LookupCase{"NonAsciiTextInUtf16BecomesTheCodePagesText",
                   Utf16Le(u"[Settings]\nPollInterval=Pr\u00FCfung \u00E4\n"), kPruefung},
        LookupCase{"NonAsciiTextInAUtf8FileWithItsMarkBecomesTheCodePagesTextAsInUtf16",
                   "\xEF\xBB\xBF[Settings]\nPollInterval=Pr\xC3\xBC"
                   "fung \xC3\xA4\n",
                   kPruefung},
        LookupCase{"AByteThatIsNoUtf8InAMarkedFileIsAQuestionMarkUnlessTheCodePageIsUtf8",
                   "\xEF\xBB\xBF[Settings]\nPollInterval=9\xFFx\n", kUtf8CodePage ? "9\xFFx" : "9?x"},
        LookupCase{"AFileWithoutAMarkIsTakenAsTheCodePagesText",
                   "[Settings]\nPollInterval=Pr\xC3\xBC"
                   "fung\n",
                   "Pr\xC3\xBC"
                   "fung"}),
    test::CaseName());

} // namespace
} // namespace vornix7
