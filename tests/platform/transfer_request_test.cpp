// What the device sees: one plain GET for exactly the configured address,
// straight from the logger, with nothing carried over between polls. (That
// no proxy is used cannot be shown here: Qt never proxies loopback addresses.)
#include "loopback_http_server.h"
#include "poll_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vornix7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::string RequestLine(const std::string& head)
{
    return head.substr(0, head.find("\r\n"));
}

TEST(Request, OneGetWithPathAndQueryUnchanged)
{
    LoopbackHttpServer server([](int fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok"));
    });
    QtTransferControl control;

    const PollResult result = PollOnce(control, server.Url("/status.html?a=1&b=%20&c=%2F~"));

    ASSERT_TRUE(result.finished);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(RequestLine(server.Requests()[0]), "GET /status.html?a=1&b=%20&c=%2F~ HTTP/1.1");
    EXPECT_EQ(server.Connections(), 1);
}

TEST(Request, PlainHttp11WithoutStateOrUpgrade)
{
    LoopbackHttpServer server([](int fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok", "Set-Cookie: session=abc\r\n"));
    });
    QtTransferControl control;

    // Two polls: the cookie set by the first must not come back in the second.
    ASSERT_TRUE(PollOnce(control, server.Url("/status.html")).finished);
    ASSERT_TRUE(PollOnce(control, server.Url("/status.html")).finished);

    ASSERT_EQ(server.Requests().size(), 2u);
    for (const std::string& head : server.Requests()) {
        EXPECT_THAT(head, StartsWith("GET /status.html HTTP/1.1\r\n"));
        EXPECT_THAT(head, Not(HasSubstr("Cookie")));
        EXPECT_THAT(head, Not(HasSubstr("Upgrade")));
        EXPECT_THAT(head, Not(HasSubstr("HTTP2-Settings")));
        EXPECT_THAT(head, Not(HasSubstr("Proxy")));
        EXPECT_THAT(head, Not(HasSubstr("Authorization")));
    }
}

TEST(Request, RedirectIsTheAnswerAndIsNotFollowed)
{
    LoopbackHttpServer target([](int fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "elsewhere"));
    });
    const std::string location = "Location: " + target.Url("/moved.html") + "\r\n";
    LoopbackHttpServer server([&](int fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(302, "Found", "moved", location));
    });
    QtTransferControl control;

    const PollResult result = PollOnce(control, server.Url("/status.html"));

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.body, "moved");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(target.Connections(), 0) << "the redirect target must never be asked";
}

} // namespace
} // namespace vornix7::test
