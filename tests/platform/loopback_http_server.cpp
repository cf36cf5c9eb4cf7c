// The loopback server's parts that do not touch a socket.
#include "loopback_http_server.h"

namespace vornix7::test {

std::string LoopbackHttpServer::Url(std::string_view pathAndQuery) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::vector<std::string> LoopbackHttpServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string HttpResponse(int status, std::string_view reason, std::string_view body,
                         std::string_view extraHeaders)
{
    std::string response = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    response += extraHeaders;
    response += "\r\n";
    response += body;
    return response;
}

} // namespace vornix7::test
