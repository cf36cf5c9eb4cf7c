#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vornix7::sim {

struct RequestLine {
    std::string method;
    std::string target;
    std::string version;
};

// Length of the request head including its blank line, once `buffer` holds
// all of it. Bare LF line ends are accepted, as lenient servers do.
std::optional<std::size_t> HeadLength(std::string_view buffer);

// "GET /x HTTP/1.1" from the first line of a head; nullopt if malformed.
std::optional<RequestLine> ParseRequestLine(std::string_view head);

// The path of a request target without query, also for the absolute form
// ("http://host:port/other?x" -> "/other").
std::string_view TargetPath(std::string_view target);

// 1xx, 204 and 304 answers never carry a body (RFC 9110).
bool StatusAllowsBody(int status);

using Headers = std::vector<std::pair<std::string, std::string>>;

// Content-Type text/html and the Content-Length of a body of `length` bytes.
Headers HtmlHeaders(std::uint64_t length);

// Status line and headers, ending with the blank line. Every answer says
// "Connection: close": the connection is closed after each answer, which
// keeps "one request per connection" true for the request counter.
std::string ResponseHead(int status, const Headers& headers);

// Cuts `body` into `count` pieces of unequal size (none empty, unless the
// body is shorter than `count`), each framed as an HTTP chunk; the last
// element is the terminating zero-length chunk.
std::vector<std::string> ChunkedPieces(std::string_view body, std::size_t count);

} // namespace vornix7::sim
