#include "page.h"

#include <cstdlib>

namespace vornix7::sim {

std::string BuildPage(std::string_view name, const std::vector<std::string>& values)
{
    std::string page = "<html><head><title>VORNIX7</title></head><body>\n<devicename>";
    page += name;
    page += "</devicename>\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string tag = "t" + std::to_string(i);
        page += "<" + tag + ">" + values[i] + "</" + tag + ">\n";
    }
    page += "</body></html>\n";
    return page;
}

std::string FormatHundredths(std::int64_t hundredths)
{
    const std::uint64_t magnitude =
        hundredths < 0 ? 0 - static_cast<std::uint64_t>(hundredths) : static_cast<std::uint64_t>(hundredths);
    std::string text = hundredths < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    const auto cents = magnitude % 100;
    if (cents != 0) {
        text += '.';
        text += static_cast<char>('0' + cents / 10);
        if (cents % 10 != 0)
            text += static_cast<char>('0' + cents % 10);
    }
    return text;
}

RandomWalk::RandomWalk(int sensors, std::uint64_t seed) : rng_(seed)
{
    for (int i = 0; i < sensors; ++i)
        hundredths_.push_back(rng_.Between(kStartMin, kStartMax));
}

std::vector<std::string> RandomWalk::Next()
{
    std::vector<std::string> texts;
    for (auto& value : hundredths_) {
        texts.push_back(FormatHundredths(value));
        value += rng_.Between(-kMaxStep, kMaxStep);
        // Bounce off the limits instead of sticking to them.
        if (value < kMinHundredths)
            value = 2 * kMinHundredths - value;
        if (value > kMaxHundredths)
            value = 2 * kMaxHundredths - value;
    }
    return texts;
}

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
