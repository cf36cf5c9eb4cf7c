#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornix7 {

// The tag of sensor i: "t" and the decimal digits of i ("t0" .. "t16").
std::string SensorTag(int index);

// The content of the first element `tag` in `page`: everything between the
// first "<tag>" and the first "</tag>" after it, verbatim. Tags match
// without regard to ASCII case; a missing opening or closing tag gives
// empty text. Tag names are letters and digits.
std::string ExtractTagValue(std::string_view page, std::string_view tag);

// The contents of several elements of one page, each as ExtractTagValue
// gives it.
class PageElements {
public:
    PageElements(std::string_view page, const std::vector<std::string>& tags);

    // The content of the element tags[index].
    std::string_view Value(std::size_t index) const { return values_[index]; }

private:
    std::vector<std::string> values_;
};

} // namespace vornix7
