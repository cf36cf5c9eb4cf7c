#pragma once

#include <string>
#include <string_view>

namespace vornix7 {

// The one rule for which URLs the logger fetches: the fetch sends nothing
// for a URL this finds a problem with (every poll then logs an ERROR line),
// and vornix7-check warns about the same URLs with the same words, so the
// two cannot disagree. Empty text when the URL has the form the fetch
// takes: http:// (any case), an optional user name ending in '@', a host
// without a character no host name has (blanks, quotes, <, >, ...), a port
// from 1 to 65535 if a ':' is there, and no blank or control byte anywhere.
// Bytes from 0x80 up are allowed: the fetch sends them percent-encoded in
// the path and query (/é as /%C3%A9) and as an international name in the
// host.
std::string UrlProblem(std::string_view url);

} // namespace vornix7
