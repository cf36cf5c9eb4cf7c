#include "platform/http_request.h"

namespace vornix7 {

std::string GetRequestHead(const HttpTarget& target)
{
    std::string head = "GET " + target.pathAndQuery + " HTTP/1.1\r\n";
    head += "Host: " + target.hostHeader + "\r\n";
    head += "User-Agent: VORNIX7_Logger\r\n";
    head += "Accept: */*\r\n";
    head += "Connection: close\r\n";
    head += "\r\n";
    return head;
}

} // namespace vornix7
