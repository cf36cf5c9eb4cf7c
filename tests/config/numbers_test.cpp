#include "config/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "common/runtime_error.h"
#include "decimal_comma_locale.h"
#include "named_case.h"

namespace vornix7 {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct NumberCase {
    const char* name;
    std::string text;
    double expected;
};

using test::PrintTo;

class LeadingNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumberTest, ReadsTheNumberTheTextBeginsWith)
{
    EXPECT_EQ(LeadingNumber(GetParam().text), GetParam().expected);
}

TEST_P(LeadingNumberTest, ReadsTheSameUnderADecimalCommaLocale)
{
    const auto value = test::UnderDecimalCommaLocale([this] { return LeadingNumber(GetParam().text); });
    if (!value) {
        GTEST_SKIP() << test::kNoDecimalCommaLocale;
    }
    EXPECT_EQ(*value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LeadingNumberTest,
    testing::Values(
        NumberCase{"APlainDecimal", "21.5", 21.5}, NumberCase{"ANegativeDecimal", "-3.25", -3.25},
        NumberCase{"APlusSign", "+5", 5.0}, NumberCase{"NoWholePart", ".5", 0.5},
        NumberCase{"NoFractionDigits", "5.", 5.0}, NumberCase{"ACommaEndsTheNumber", "21,5", 21.0},
        NumberCase{"LettersReadAsZero", "abc", 0.0}, NumberCase{"EmptyTextReadsAsZero", "", 0.0},
        NumberCase{"AnExponent", "1E3", 1000.0}, NumberCase{"ADExponent", "1D2", 100.0},
        NumberCase{"ALowerCaseDExponent", "1d+2", 100.0}, NumberCase{"AnExponentWithoutDigits", "7E", 7.0},
        NumberCase{"BlanksAnywhereAreSkipped", " 1 2 3", 123.0},
        NumberCase{"TabsAndLineFeedsAreSkipped", "\t1\n2.\t5", 12.5},
        NumberCase{"ACarriageReturnEndsTheNumber", "1\r2", 1.0},
        NumberCase{"BlanksInsideTheExponentAreSkipped", "1 E - 2", 0.01},

        NumberCase{"ASecondPointEndsTheNumber", "1.2.3", 1.2}, NumberCase{"TwoSignsReadAsZero", "--5", 0.0},
        NumberCase{"ABlankAfterTheSign", "- 5", -5.0}, NumberCase{"AHexNumber", "&HFF", 255.0},
        NumberCase{"AHexNumberInLowerCase", "&hff", 255.0}, NumberCase{"AnOctalNumber", "&O17", 15.0},
        NumberCase{"AnOctalNumberStopsAtEight", "&o178", 15.0},
        NumberCase{"AHexPrefixWithoutDigits", "&H", 0.0}, NumberCase{"AnAmpersandAlone", "&5", 0.0},
        NumberCase{"AWideHexNumberStaysPositive", "&HFFFFFFFF", 4294967295.0},
        NumberCase{"TooLargeReadsAsInfinity", "1E400", kInf},
        NumberCase{"TooLargeNegativeReadsAsMinusInfinity", "-1E400", -kInf},
        NumberCase{"TooSmallReadsAsZero", "1E-400", 0.0},
        NumberCase{"TooManyWholeDigitsReadAsInfinity", std::string(400, '9'), kInf},
        NumberCase{"LongDigitsWithAnExponentThatBringsThemBack", "1" + std::string(350, '0') + "E-340", 1e10},
        NumberCase{"ATinyFractionWithALargeExponent", "0." + std::string(400, '0') + "1E405", 1e4},
        NumberCase{"ManyZerosWithAHugeExponentReadAsZero", "0.000E999999", 0.0},
        NumberCase{"HugeExponentDigitsReadAsInfinity", "1E" + std::string(40, '9'), kInf},
        NumberCase{"HugeNegativeExponentDigitsReadAsZero", "-1E-" + std::string(40, '9'), 0.0},
        NumberCase{"APageLongFractionWithAnExponentBeyondAMillion",
                   "0." + std::string(999'960, '0') + "1e1000005", 1e44},
        NumberCase{"APageLongWholePartWithAnExponentBelowMinusAMillion",
                   "1" + std::string(999'990, '0') + "e-1000005", 1e-15}),
    test::CaseName());

struct RoundCase {
    const char* name;
    double value;
    std::optional<std::int32_t> expected; // none: Overflow
};

class RoundToInt32Test : public testing::TestWithParam<RoundCase> {};

TEST_P(RoundToInt32Test, RoundsHalvesToEvenOrThrowsOverflow)
{
    const RoundCase& c = GetParam();
    if (c.expected) {
        EXPECT_EQ(RoundToInt32(c.value), *c.expected);
        return;
    }
    try {
        const std::int32_t result = RoundToInt32(c.value);
        ADD_FAILURE() << "no Overflow, gave " << result;
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.kind(), "Overflow");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RoundToInt32Test,
    testing::Values(RoundCase{"TwoAndAHalfGoesDownToTwo", 2.5, 2},
                    RoundCase{"ThreeAndAHalfGoesUpToFour", 3.5, 4},
                    RoundCase{"MinusTwoAndAHalfGoesToMinusTwo", -2.5, -2},
                    RoundCase{"MinusThreeAndAHalfGoesToMinusFour", -3.5, -4},
                    RoundCase{"AHalfGoesToZero", 0.5, 0}, RoundCase{"OneAndAHalfGoesToTwo", 1.5, 2},
                    RoundCase{"BelowAHalfGoesDown", 2.4999, 2},
                    RoundCase{"TheLargestInt32Fits", 2147483647.0, 2147483647},
                    RoundCase{"AHalfAboveTheLargestRoundsOutOfRange", 2147483647.5, std::nullopt},
                    RoundCase{"AHalfBelowTheSmallestRoundsBackIn", -2147483648.5, INT32_MIN},
                    RoundCase{"OneAboveTheLargestOverflows", 2147483648.0, std::nullopt},
                    RoundCase{"OneBelowTheSmallestOverflows", -2147483649.0, std::nullopt},
                    RoundCase{"InfinityOverflows", kInf, std::nullopt},
                    RoundCase{"NegativeInfinityOverflows", -kInf, std::nullopt},
                    RoundCase{"NotANumberOverflows", std::numeric_limits<double>::quiet_NaN(), std::nullopt}),
    test::CaseName());

} // namespace
} // namespace vornix7
