#include "platform/system.h"

#include <gtest/gtest.h>

#include <optional>

namespace vornix7 {
namespace {

TEST(TimeSeparatorOfLocale, IsTheCharacterTheLocaleWritesBetweenHoursAndMinutes)
{
    const struct {
        const char* locale; // in the system's own naming, from the build
        char expected;
    } cases[] = {
        {VORNIX7_TEST_COLON_TIME_LOCALE, ':'},
        {VORNIX7_TEST_POINT_TIME_LOCALE, '.'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        const std::optional<char> separator = TimeSeparatorOfLocale(c.locale);
        if (!separator) {
            GTEST_SKIP() << "the " << c.locale
                         << " locale is not installed (scripts/install-deps.sh makes it)";
        }
        EXPECT_EQ(*separator, c.expected);
    }
}

} // namespace
} // namespace vornix7
