#pragma once

#include <string>
#include <string_view>

namespace vornix7 {

// Why the fetch would refuse `url` without sending anything, or empty text
// when the URL has the only form it takes: http:// (any case), a host, a
// port from 1 to 65535 if one is given, and no blank, control or non-ASCII
// byte anywhere.
std::string UrlProblem(std::string_view url);

} // namespace vornix7
