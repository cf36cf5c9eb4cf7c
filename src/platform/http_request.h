#pragma once

#include "platform/http_url.h"

#include <string>

namespace vornix7 {

// The whole request for one poll: a GET for the target as written, nothing
// that asks for compression, a connection upgrade, a cache's help or a kept
// connection. Connection: close lets a device that sends no length end its
// answer by closing, and no second request ever follows on the connection.
std::string GetRequestHead(const HttpTarget& target);

} // namespace vornix7
