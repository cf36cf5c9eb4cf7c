#include "body_source.h"

namespace vornix7::sim {

void SizedBodySlice(std::string_view page, std::uint64_t offset, std::span<char> out)
{
    constexpr std::uint64_t kLine = 64;
    for (char& byte : out) {
        if (offset < page.size())
            byte = page[offset];
        else
            byte = (offset - page.size()) % kLine == kLine - 1 ? '\n' : ' ';
        ++offset;
    }
}

void GarbageStream::Fill(std::span<char> out)
{
    static constexpr char kSpecial[] = {'\0', '\r', '\n', '<', '>'};
    for (char& byte : out) {
        if (index_ % 8 == 0)
            byte = kSpecial[(index_ / 8) % sizeof kSpecial];
        else
            byte = static_cast<char>(rng_.Next() & 0xFF);
        ++index_;
    }
}

} // namespace vornix7::sim
