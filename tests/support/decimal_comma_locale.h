#pragma once

#include <clocale>
#include <optional>

namespace vornix7::test {

// Why a test that needs the decimal-comma locale is skipped.
inline constexpr const char* kNoDecimalCommaLocale =
    "the " VORNIX7_TEST_DECIMAL_COMMA_LOCALE " locale is not installed (scripts/install-deps.sh makes it)";

// What `body` gives with LC_ALL set to the decimal-comma locale (and back to
// "C" after); nullopt when that locale is not installed.
template <class Body> auto UnderDecimalCommaLocale(Body body) -> std::optional<decltype(body())>
{
    if (std::setlocale(LC_ALL, VORNIX7_TEST_DECIMAL_COMMA_LOCALE) == nullptr) {
        return std::nullopt;
    }
    auto result = body();
    std::setlocale(LC_ALL, "C");
    return result;
}

} // namespace vornix7::test
