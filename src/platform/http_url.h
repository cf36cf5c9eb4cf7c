#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vornix7 {

// Where one GET goes and what it asks for, taken from the URL setting.
struct HttpTarget {
    // What to connect to: a host name, an IPv4 address, or an IPv6 address
    // without its brackets.
    std::string host;
    bool ipv6Literal = false;
    std::uint16_t port = 80;
    // The authority as written in the URL (brackets and port included), for
    // the Host header: the device sees what the user wrote.
    std::string hostHeader;
    // The request target: the bytes after the authority up to a '#', as
    // written; "/" put in front when the path is empty.
    std::string pathAndQuery;
};

// Splits an `http://host[:port][path][?query][#fragment]` URL. Only plain
// HTTP: the device serves no TLS, so https (and every other scheme) is
// refused, as are user-info, a missing or out-of-range port, and any byte
// that cannot go into a request line as it is (space, control bytes, DEL,
// non-ASCII). Nothing is decoded or normalised: "%61", "%2b" and "/./" stay
// as they are, since the device may tell them apart.
std::optional<HttpTarget> SplitHttpUrl(std::string_view url);

} // namespace vornix7
