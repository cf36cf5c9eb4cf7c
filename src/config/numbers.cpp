#include "config/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "common/ascii.h"
#include "common/runtime_error.h"

namespace vornix7 {

namespace {

bool IsSkipped(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Walks the text while hiding the characters that are skipped anywhere.
class NumberCursor {
public:
    explicit NumberCursor(std::string_view text) : text_(text) { SkipIgnored(); }

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    void Advance()
    {
        ++pos_;
        SkipIgnored();
    }

private:
    void SkipIgnored()
    {
        while (pos_ < text_.size() && IsSkipped(text_[pos_])) {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// The value of `c` as a digit of `radix` (8 or 16; letters in either case),
// or -1.
int DigitValue(char c, int radix)
{
    const char lower = AsciiLower(c);
    int value = -1;
    if (IsAsciiDigit(c)) {
        value = c - '0';
    } else if (lower >= 'a' && lower <= 'f') {
        value = lower - 'a' + 10;
    }
    return value < radix ? value : -1;
}

double ReadRadixInteger(NumberCursor& cursor, int radix)
{
    double value = 0.0;
    for (int digit = DigitValue(cursor.Peek(), radix); digit >= 0; digit = DigitValue(cursor.Peek(), radix)) {
        value = value * radix + digit;
        cursor.Advance();
    }
    return value;
}

// The decimal digits of a number, gathered without the skipped characters.
struct DecimalParts {
    bool negative = false;
    std::string integerDigits;
    std::string fractionDigits;
    std::int64_t exponent = 0;
};

DecimalParts ReadDecimalParts(NumberCursor& cursor)
{
    DecimalParts parts;
    if (cursor.Peek() == '+' || cursor.Peek() == '-') {
        parts.negative = cursor.Peek() == '-';
        cursor.Advance();
    }
    for (; IsAsciiDigit(cursor.Peek()); cursor.Advance()) {
        parts.integerDigits += cursor.Peek();
    }
    if (cursor.Peek() == '.') {
        cursor.Advance();
        for (; IsAsciiDigit(cursor.Peek()); cursor.Advance()) {
            parts.fractionDigits += cursor.Peek();
        }
    }
    if (parts.integerDigits.empty() && parts.fractionDigits.empty()) {
        return parts;
    }
    const char marker = AsciiLower(cursor.Peek());
    if (marker == 'e' || marker == 'd') {
        cursor.Advance();
        bool negativeExponent = false;
        if (cursor.Peek() == '+' || cursor.Peek() == '-') {
            negativeExponent = cursor.Peek() == '-';
            cursor.Advance();
        }
        // Saturate far beyond any double's range and any text's length, so
        // huge exponents cannot overflow the counter, yet the digits'
        // position (at most a page long) still moves the value correctly.
        constexpr std::int64_t kExponentCap = 1'000'000'000'000;
        for (; IsAsciiDigit(cursor.Peek()); cursor.Advance()) {
            parts.exponent = std::min(parts.exponent * 10 + (cursor.Peek() - '0'), kExponentCap);
        }
        if (negativeExponent) {
            parts.exponent = -parts.exponent;
        }
    }
    return parts;
}

double ToDouble(const DecimalParts& parts)
{
    // The value is 0.<significant digits> x 10^decimalExponent. Taking the
    // leading zeros out first combines the digits' position with the written
    // exponent before anything is capped.
    const std::string digits = parts.integerDigits + parts.fractionDigits;
    const std::size_t firstSignificant = digits.find_first_not_of('0');
    if (firstSignificant == std::string::npos) {
        return parts.negative ? -0.0 : 0.0;
    }
    const std::int64_t decimalExponent = static_cast<std::int64_t>(parts.integerDigits.size())
                                         - static_cast<std::int64_t>(firstSignificant) + parts.exponent;
    // Beyond these the value is certainly outside a double's range: the
    // largest double is below 10^309, the smallest above 10^-324.
    constexpr std::int64_t kAboveLargest = 310;
    constexpr std::int64_t kBelowSmallest = -330;
    double magnitude = 0.0;
    if (decimalExponent > kAboveLargest) {
        magnitude = std::numeric_limits<double>::infinity();
    } else if (decimalExponent >= kBelowSmallest) {
        std::string canonical = "0.";
        canonical.append(digits, firstSignificant);
        canonical += 'e';
        canonical += std::to_string(decimalExponent);
        const auto [end, error] =
            std::from_chars(canonical.data(), canonical.data() + canonical.size(), magnitude);
        (void)end;
        if (error == std::errc::result_out_of_range) {
            magnitude = decimalExponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
    }
    return parts.negative ? -magnitude : magnitude;
}

} // namespace

double LeadingNumber(std::string_view text)
{
    NumberCursor cursor(text);
    if (cursor.Peek() == '&') {
        cursor.Advance();
        const char prefix = AsciiLower(cursor.Peek());
        if (prefix == 'h' || prefix == 'o') {
            cursor.Advance();
            return ReadRadixInteger(cursor, prefix == 'h' ? 16 : 8);
        }
        return 0.0;
    }
    const DecimalParts parts = ReadDecimalParts(cursor);
    if (parts.integerDigits.empty() && parts.fractionDigits.empty()) {
        return 0.0;
    }
    return ToDouble(parts);
}

std::int32_t RoundToInt32(double value)
{
    double rounded = std::round(value); // halves away from zero
    if (std::fabs(value - std::trunc(value)) == 0.5 && std::fmod(rounded, 2.0) != 0.0) {
        rounded -= std::copysign(1.0, value); // an exact half goes to the even neighbour
    }
    constexpr double kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr double kHighest = std::numeric_limits<std::int32_t>::max();
    if (!(rounded >= kLowest && rounded <= kHighest)) {
        throw RuntimeError(error_kind::kOverflow,
                           "the value " + std::to_string(value) + " does not fit a 32-bit integer");
    }
    return static_cast<std::int32_t>(rounded);
}

} // namespace vornix7
