#pragma once

#include <cstdint>

namespace vornix7::sim {

// SplitMix64: tiny and fully specified, so a seed gives the same pages and
// garbage bytes with every compiler and standard library (the <random>
// distributions do not promise that).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform enough in [lo, hi] for test data; the modulo bias is ~2^-50.
    std::int64_t Between(std::int64_t lo, std::int64_t hi)
    {
        const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
        return lo + static_cast<std::int64_t>(Next() % span);
    }

private:
    std::uint64_t state_;
};

} // namespace vornix7::sim
