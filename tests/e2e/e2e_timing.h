#pragma once

#include <chrono>

namespace vornix7::e2e {

// Sanitizer builds run the programs several times slower. Only the limits
// that measure how quickly something happens are widened by this factor;
// what is logged is asserted the same in every build.
#ifdef VORNIX7_E2E_SANITIZED
inline constexpr int kSlowdown = 4;
#else
inline constexpr int kSlowdown = 1;
#endif

using Millis = std::chrono::milliseconds;

// A limit of `normal` that grows with the slowdown.
constexpr Millis Scaled(Millis normal)
{
    return normal * kSlowdown;
}

} // namespace vornix7::e2e
