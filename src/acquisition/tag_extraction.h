#pragma once

#include <string>
#include <string_view>

namespace vornix7 {

// The tag of sensor i: "t" and the decimal digits of i ("t0" .. "t16").
std::string SensorTag(int index);

// The content of the first element `tag` in `page`: everything between the
// first "<tag>" and the first "</tag>" after it, verbatim. Tags match
// without regard to ASCII case; a missing opening or closing tag gives
// empty text. Tag names are letters and digits.
std::string ExtractTagValue(std::string_view page, std::string_view tag);

} // namespace vornix7
