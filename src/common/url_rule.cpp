#include "common/url_rule.h"

#include <algorithm>
#include <charconv>

#include "common/ascii.h"
#include "common/control_bytes.h"

namespace vornix7 {

namespace {

constexpr std::string_view kScheme = "http://";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool IsBlankOrControl(char c)
{
    return c == ' ' || IsControlByte(c, ControlBytes::kAll);
}

// What no host name holds: the characters the fetch refuses in one.
constexpr std::string_view kNotInHostNames = " \t/:#?!@{}[]\\$'\"^`*<>=;,+&()%";

bool IsPort(std::string_view digits)
{
    unsigned value = 0;
    const char* const end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    return digits.size() <= 5 && error == std::errc() && stop == end && value >= 1 && value <= 65535;
}

} // namespace

std::string UrlProblem(std::string_view url)
{
    if (url.empty()) {
        return "it is empty";
    }
    if (!StartsWithIgnoringCase(url, kScheme)) {
        return "it does not start with http:// (only plain HTTP is fetched)";
    }
    if (std::any_of(url.begin(), url.end(), IsBlankOrControl)) {
        return "it holds a blank or a control byte";
    }
    const std::string_view rest = url.substr(kScheme.size());
    std::string_view authority = rest.substr(0, std::min(rest.find_first_of("/?#"), rest.size()));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1); // a user name and password
    }
    std::string_view host = authority;
    std::string_view afterHost;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        host = close == std::string_view::npos ? std::string_view() : authority.substr(1, close - 1);
        afterHost = close == std::string_view::npos ? std::string_view() : authority.substr(close + 1);
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        afterHost = authority.substr(colon);
    }
    if (host.empty()) {
        return "it names no host";
    }
    if (!authority.starts_with('[') && host.find_first_of(kNotInHostNames) != std::string_view::npos) {
        return "its host holds a character no host name has";
    }
    if (!afterHost.empty() && (afterHost.front() != ':' || !IsPort(afterHost.substr(1)))) {
        return "its port is not a number from 1 to 65535";
    }
    return {};
}

} // namespace vornix7
