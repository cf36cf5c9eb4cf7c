#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// The status page as the device serves it: the name and one <tN> element
// per value, all texts verbatim.
std::string BuildPage(std::string_view name, const std::vector<std::string>& values);

// 2150 -> "21.5", 4800 -> "48", -325 -> "-3.25": the device drops trailing
// zeros, so the logger must cope with zero, one or two decimals.
std::string FormatHundredths(std::int64_t hundredths);

// Values that drift slowly like real temperatures, kept in whole hundredths
// so every page shows at most two decimals.
class RandomWalk {
public:
    static constexpr std::int64_t kMinHundredths = -4000;
    static constexpr std::int64_t kMaxHundredths = 8500;
    static constexpr std::int64_t kStartMin = -500;
    static constexpr std::int64_t kStartMax = 3500;
    static constexpr std::int64_t kMaxStep = 10;

    RandomWalk(int sensors, std::uint64_t seed);

    // The current values as text, then one step for every sensor.
    std::vector<std::string> Next();

private:
    Rng rng_;
    std::vector<std::int64_t> hundredths_;
};

// Byte `offset` onward of a body of any length that begins with `page` and
// continues with blank filler, so huge bodies are streamed piece by piece.
// Lines of filler end in LF to stay plausible HTML whitespace.
void SizedBodySlice(std::string_view page, std::uint64_t offset, std::span<char> out);

// Endless random bytes. Every eighth byte is one of NUL, CR, LF, '<', '>' in
// turn, so even a short body holds each of the bytes a parser trips over.
class GarbageStream {
public:
    explicit GarbageStream(std::uint64_t seed) : rng_(seed) {}
    void Fill(std::span<char> out);

private:
    Rng rng_;
    std::uint64_t index_ = 0;
};

} // namespace vornix7::sim
