#include "http.h"

#include <cstdio>
#include <utility>

namespace vornix7::sim {

namespace {

// The phrases of the statuses a test is likely to ask for; any other gets a
// neutral word, which clients ignore anyway.
constexpr std::pair<int, std::string_view> kReasonPhrases[] = {
    {200, "OK"},
    {204, "No Content"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {304, "Not Modified"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {500, "Internal Server Error"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
};

std::string_view ReasonPhrase(int status)
{
    for (const auto& [code, phrase] : kReasonPhrases)
        if (code == status)
            return phrase;
    return "Status";
}

} // namespace

std::optional<std::size_t> HeadLength(std::string_view buffer)
{
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (buffer[i] != '\n')
            continue;
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n')
            return i + 2;
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n')
            return i + 3;
    }
    return std::nullopt;
}

std::optional<RequestLine> ParseRequestLine(std::string_view head)
{
    auto line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const auto sp1 = line.find(' ');
    const auto sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return std::nullopt;
    RequestLine result{std::string(line.substr(0, sp1)), std::string(line.substr(sp1 + 1, sp2 - sp1 - 1)),
                       std::string(line.substr(sp2 + 1))};
    if (result.method.empty() || result.target.empty() || result.version.rfind("HTTP/1.", 0) != 0)
        return std::nullopt;
    return result;
}

std::string_view TargetPath(std::string_view target)
{
    if (const auto scheme = target.find("://"); scheme != std::string_view::npos) {
        const auto slash = target.find('/', scheme + 3);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    return target.substr(0, target.find_first_of("?#"));
}

bool StatusAllowsBody(int status)
{
    return status >= 200 && status != 204 && status != 304;
}

Headers HtmlHeaders(std::uint64_t length)
{
    return {{"Content-Type", "text/html"}, {"Content-Length", std::to_string(length)}};
}

std::string ResponseHead(int status, const Headers& headers)
{
    std::string head = "HTTP/1.1 " + std::to_string(status) + " ";
    head += ReasonPhrase(status);
    head += "\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

std::vector<std::string> ChunkedPieces(std::string_view body, std::size_t count)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= count && start < body.size(); ++i) {
        // Unequal sizes (growing shares) so a client cannot get away with
        // assuming a fixed chunk length.
        const std::size_t end = i == count ? body.size() : body.size() * i * i / (count * count);
        if (end <= start)
            continue;
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", end - start);
        pieces.push_back(std::string(size) + std::string(body.substr(start, end - start)) + "\r\n");
        start = end;
    }
    pieces.emplace_back("0\r\n\r\n");
    return pieces;
}

} // namespace vornix7::sim
