#include "platform/http_url.h"

#include "common/ascii.h"

#include <algorithm>

namespace vornix7 {

namespace {

constexpr std::string_view kScheme = "http://";

bool IsHexDigit(char c)
{
    return AsciiHexValue(c) >= 0;
}

// Bytes that may stand in a request line unescaped. A space would end the
// target early, control bytes and DEL could end the line, and bytes above
// 0x7F have no meaning in HTTP/1.1 without an encoding.
bool IsVisibleAscii(char c)
{
    return c > 0x20 && c < 0x7F;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) {
        return p == (t >= 'A' && t <= 'Z' ? static_cast<char>(t - 'A' + 'a') : t);
    });
}

// A DNS name or a dotted IPv4 address. Percent-escapes and the other
// characters RFC 3986 allows in a registered name never name a device on a
// local network, so they are refused rather than passed to the resolver.
bool IsHostName(std::string_view host)
{
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.'
               || c == '_';
    });
}

// Only the characters of an IPv6 address; whether they form one is left to
// the socket layer. A zone ("%25eth0") is not supported.
bool LooksLikeIpv6(std::string_view host)
{
    return host.find(':') != std::string_view::npos && std::all_of(host.begin(), host.end(), [](char c) {
               return IsHexDigit(c) || c == ':' || c == '.';
           });
}

std::optional<std::uint16_t> ParsePort(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), IsAsciiDigit))
        return std::nullopt;
    unsigned value = 0;
    for (char c : digits)
        value = value * 10 + static_cast<unsigned>(c - '0');
    if (value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace

std::optional<HttpTarget> SplitHttpUrl(std::string_view url)
{
    if (!std::all_of(url.begin(), url.end(), IsVisibleAscii) || !StartsWithNoCase(url, kScheme))
        return std::nullopt;
    url.remove_prefix(kScheme.size());

    const std::size_t authorityEnd = std::min(url.find_first_of("/?#"), url.size());
    const std::string_view authority = url.substr(0, authorityEnd);
    // User-info would be sent nowhere (no Authorization header is made), so
    // a URL carrying it cannot be fetched as written.
    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;

    HttpTarget target;
    std::string_view host;
    std::string_view afterHost;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = authority.substr(1, close - 1);
        afterHost = authority.substr(close + 1);
        if (!LooksLikeIpv6(host))
            return std::nullopt;
        target.ipv6Literal = true;
    } else {
        const std::size_t colon = std::min(authority.find(':'), authority.size());
        host = authority.substr(0, colon);
        afterHost = authority.substr(colon);
        if (!IsHostName(host))
            return std::nullopt;
    }
    if (!afterHost.empty()) {
        if (afterHost.front() != ':')
            return std::nullopt;
        const std::optional<std::uint16_t> port = ParsePort(afterHost.substr(1));
        if (!port)
            return std::nullopt;
        target.port = *port;
    }
    target.host = std::string(host);
    target.hostHeader = std::string(authority);

    std::string_view rest = url.substr(authorityEnd);
    rest = rest.substr(0, std::min(rest.find('#'), rest.size()));
    if (rest.empty() || rest.front() == '?')
        target.pathAndQuery.push_back('/');
    target.pathAndQuery.append(rest);
    return target;
}

} // namespace vornix7
