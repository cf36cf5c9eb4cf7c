#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "connection.h"
#include "options.h"

namespace vornix7::sim {

struct AnswerContext {
    const Options& options;
    std::function<std::string()> nextPage; // each call advances the walk
    std::uint16_t port = 0;                // for the redirect's Location
    bool headOnly = false;                 // HEAD: headers, never a body
    std::uint64_t garbageSeed = 0;
};

struct AnswerOutcome {
    int status = 0;              // 0: no status line was sent
    std::uint64_t bodyBytes = 0; // body bytes sent (decoded for chunked)
    std::string note;            // extra words for the log line
    bool holdOpen = false;       // silent: keep the connection until the client leaves
    bool closed = false;         // the answer closed the connection itself
};

// Writes the answer of `mode` to `connection`. Never throws on network
// errors: a client that goes away mid-answer just ends it, noted.
AnswerOutcome Answer(Connection& connection, Mode mode, const AnswerContext& context);

} // namespace vornix7::sim
