// Arbitrary text through LeadingNumber and RoundToInt32: never NaN, the
// rest after a character that cannot continue a number never matters, and
// rounding either fits int32 within half a unit or reports Overflow.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/runtime_error.h"
#include "config/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double value = vornix7::LeadingNumber(text);
    if (std::isnan(value)) {
        std::abort();
    }
    for (const char* tail : {"x", "\r", ",", "#1"}) {
        const double extended = vornix7::LeadingNumber(text + tail);
        if (!(extended == value || (extended == 0 && value == 0))) {
            std::abort();
        }
    }
    try {
        const std::int32_t rounded = vornix7::RoundToInt32(value);
        if (std::fabs(static_cast<double>(rounded) - value) > 0.5) {
            std::abort();
        }
    } catch (const vornix7::RuntimeError& error) {
        if (error.kind() != vornix7::error_kind::kOverflow
            || (std::isfinite(value) && std::fabs(value) < 2147483647.0)) {
            std::abort();
        }
    }
    return 0;
}
