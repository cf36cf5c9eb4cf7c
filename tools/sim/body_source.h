#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "rng.h"

namespace vornix7::sim {

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
