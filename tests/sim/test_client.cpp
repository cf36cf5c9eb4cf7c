#include "test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace vornix7::sim::test {

Reply Fetch(std::uint16_t port, std::string_view request, int timeoutMs, std::size_t keep)
{
    Reply reply;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        close(fd);
        return reply;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            const auto n = static_cast<std::size_t>(got);
            reply.received += n;
            reply.bytes.append(buffer, std::min(n, keep - std::min(keep, reply.bytes.size())));
            continue;
        }
        if (got == 0)
            reply.end = Reply::End::Closed;
        else if (errno == ECONNRESET)
            reply.end = Reply::End::Reset;
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            reply.end = Reply::End::TimedOut;
        else if (errno == EINTR)
            continue;
        break;
    }
    close(fd);
    return reply;
}

std::optional<Response> ParseResponse(std::string_view raw)
{
    const auto headEnd = raw.find("\r\n\r\n");
    if (raw.substr(0, 9) != "HTTP/1.1 " || headEnd == std::string_view::npos)
        return std::nullopt;
    Response response;
    response.status = std::atoi(std::string(raw.substr(9, 3)).c_str());
    response.body = std::string(raw.substr(headEnd + 4));
    auto rest = raw.substr(0, headEnd + 2);
    rest.remove_prefix(rest.find("\r\n") + 2);
    while (!rest.empty()) {
        const auto line = rest.substr(0, rest.find("\r\n"));
        rest.remove_prefix(line.size() + 2);
        const auto colon = line.find(':');
        std::string name(line.substr(0, colon));
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        response.headers[name] = std::string(line.substr(colon + 2));
    }
    return response;
}

std::optional<std::string> DecodeChunked(std::string_view body, int* dataChunks)
{
    std::string decoded;
    int chunks = 0;
    for (;;) {
        const auto lineEnd = body.find("\r\n");
        if (lineEnd == std::string_view::npos || lineEnd == 0)
            return std::nullopt;
        char* end = nullptr;
        const std::string sizeText(body.substr(0, lineEnd));
        const auto size = std::strtoul(sizeText.c_str(), &end, 16);
        if (*end != '\0' || body.size() < lineEnd + 2 + size + 2
            || body.substr(lineEnd + 2 + size, 2) != "\r\n")
            return std::nullopt;
        decoded += body.substr(lineEnd + 2, size);
        body.remove_prefix(lineEnd + 2 + size + 2);
        if (size == 0) {
            if (dataChunks)
                *dataChunks = chunks;
            return body.empty() ? std::optional(decoded) : std::nullopt;
        }
        ++chunks;
    }
}

} // namespace vornix7::sim::test
