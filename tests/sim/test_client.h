#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vornix7::sim::test {

struct Reply {
    enum class End { Closed, Reset, TimedOut, Failed };
    std::string bytes;          // at most `keep` bytes of what arrived
    std::uint64_t received = 0; // all bytes that arrived
    End end = End::Failed;
};

// One request on a fresh connection to 127.0.0.1, read until the server
// closes; each wait is bounded by `timeoutMs` (SO_RCVTIMEO).
Reply Fetch(std::uint16_t port, std::string_view request = "GET / HTTP/1.1\r\nHost: sim\r\n\r\n",
            int timeoutMs = 5000, std::size_t keep = 1 << 20);

struct Response {
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// Splits raw bytes at the blank line; nullopt without a status line.
std::optional<Response> ParseResponse(std::string_view raw);

// Decodes a chunked body; nullopt if the framing is broken or unfinished.
// `dataChunks`, if given, gets the number of non-empty chunks.
std::optional<std::string> DecodeChunked(std::string_view body, int* dataChunks = nullptr);

} // namespace vornix7::sim::test
