// What the device sees: one plain GET for exactly the configured address,
// straight from the logger, with nothing carried over between polls.
#include "loopback_http_server.h"
#include "poll_driver.h"
#include "test_process.h"

#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <thread>

namespace vornix7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::string RequestLine(const std::string& head)
{
    return head.substr(0, head.find("\r\n"));
}

TEST(Request, ExactlyTheseBytes)
{
    LoopbackHttpServer server([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok"));
    });
    CurlTransferControl control;

    ASSERT_TRUE(PollOnce(control, server.Url("/status.html?a=1")).finished);

    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], "GET /status.html?a=1 HTTP/1.1\r\n"
                                    "Host: 127.0.0.1:"
                                        + std::to_string(server.Port())
                                        + "\r\n"
                                          "User-Agent: VORNIX7_Logger\r\n"
                                          "Accept: */*\r\n"
                                          "Connection: close\r\n"
                                          "\r\n");
}

struct TargetCase {
    const char* name;
    std::string afterAuthority; // as written in the setting
    std::string requestLine;    // what the device must see
};

void PrintTo(const TargetCase& c, std::ostream* out)
{
    *out << c.name;
}

class Target : public ::testing::TestWithParam<TargetCase> {};

TEST_P(Target, SentAsWritten)
{
    LoopbackHttpServer server([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok"));
    });
    CurlTransferControl control;

    const PollResult result = PollOnce(control, server.Url(GetParam().afterAuthority));

    ASSERT_TRUE(result.finished);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(RequestLine(server.Requests()[0]), GetParam().requestLine);
    EXPECT_EQ(server.Connections(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, Target,
    ::testing::Values(TargetCase{"QueryEscapesKept", "/status.html?a=1&b=%20&c=%61",
                                 "GET /status.html?a=1&b=%20&c=%61 HTTP/1.1"},
                      TargetCase{"LowerCaseEscapeKept", "/a%2bb%2F~", "GET /a%2bb%2F~ HTTP/1.1"},
                      TargetCase{"DotSegmentsKept", "/a/./b/../c", "GET /a/./b/../c HTTP/1.1"},
                      TargetCase{"OddBytesKept", "/a|b?x=%zz", "GET /a|b?x=%zz HTTP/1.1"},
                      TargetCase{"EmptyPath", "", "GET / HTTP/1.1"},
                      TargetCase{"QueryWithoutPath", "?x=1", "GET /?x=1 HTTP/1.1"},
                      TargetCase{"FragmentLeftOut", "/s.html?x=1#part", "GET /s.html?x=1 HTTP/1.1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Request, NameLookupsNeverHoldTheProgramsThread)
{
    // Without curl's asynchronous resolver a host name's lookup would run
    // inside StillExecuting and could freeze the window and Exit.
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    EXPECT_NE(info->features & CURL_VERSION_ASYNCHDNS, 0);
}

TEST(Request, HostNameIsLookedUpAndWrittenAsGiven)
{
    LoopbackHttpServer server([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok"));
    });
    CurlTransferControl control;
    const std::string authority = "LocalHost:" + std::to_string(server.Port());

    const PollResult result = PollOnce(control, "http://" + authority + "/status.html");

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.body, "ok");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_THAT(server.Requests()[0], HasSubstr("\r\nHost: " + authority + "\r\n"));
}

// One poll is one request, however the device fails: nothing is sent again.
struct DeviceAnswer {
    const char* name;
    std::string bytes; // sent, then the device closes
};

void PrintTo(const DeviceAnswer& c, std::ostream* out)
{
    *out << c.name;
}

class OneRequest : public ::testing::TestWithParam<DeviceAnswer> {};

TEST_P(OneRequest, PerPollWhateverTheDeviceSends)
{
    const std::string answer = GetParam().bytes;
    LoopbackHttpServer server(
        [&](SocketHandle fd, const std::string&) { LoopbackHttpServer::SendAll(fd, answer); });
    CurlTransferControl control;
    constexpr int kPolls = 20;

    for (int poll = 0; poll < kPolls; ++poll)
        ASSERT_TRUE(PollOnce(control, server.Url("/status.html")).finished) << "poll " << poll;
    // A resend would come right after the close; give it the time.
    WaitWhileExecuting(control, std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    EXPECT_EQ(server.Connections(), kPolls);
    EXPECT_EQ(server.Requests().size(), static_cast<std::size_t>(kPolls));
}

INSTANTIATE_TEST_SUITE_P(Device, OneRequest,
                         ::testing::Values(DeviceAnswer{"ClosesWithoutAnswer", ""},
                                           DeviceAnswer{"NotHttp", "SSH-2.0-OpenSSH_9.2\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Request, NoProxyWhateverTheEnvironmentSays)
{
    // Proxy settings in the environment point nowhere; the device must
    // still be asked directly.
    LoopbackHttpServer server([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "direct"));
    });
    const std::string proxy = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    for (const char* name : {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"})
        SetEnvironment(name, proxy);
    UnsetEnvironment("no_proxy");
    UnsetEnvironment("NO_PROXY");
    CurlTransferControl control;

    const PollResult result = PollOnce(control, server.Url("/status.html"));
    for (const char* name : {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"})
        UnsetEnvironment(name);

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.body, "direct");
}

struct UserInfoCase {
    const char* name;
    std::string userInfo;      // as written before the '@'
    std::string authorization; // the header the device must see
};

void PrintTo(const UserInfoCase& c, std::ostream* out)
{
    *out << c.name;
}

class UserInfo : public ::testing::TestWithParam<UserInfoCase> {};

TEST_P(UserInfo, IsSentAsBasicAuthentication)
{
    LoopbackHttpServer server([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok"));
    });
    CurlTransferControl control;

    const PollResult result = PollOnce(
        control, "http://" + GetParam().userInfo + "@127.0.0.1:" + std::to_string(server.Port()) + "/s.html");

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.body, "ok");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_THAT(server.Requests()[0], HasSubstr("\r\nAuthorization: " + GetParam().authorization + "\r\n"));
    EXPECT_THAT(server.Requests()[0], Not(HasSubstr("@")));
}

INSTANTIATE_TEST_SUITE_P(Urls, UserInfo,
                         ::testing::Values(UserInfoCase{"UserAndPassword", "user:pw", "Basic dXNlcjpwdw=="},
                                           UserInfoCase{"UserOnly", "user", "Basic dXNlcjo="},
                                           UserInfoCase{"EscapedColonInPassword", "admin:a%3Ab",
                                                        "Basic YWRtaW46YTpi"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Request, PlainHttp11WithoutStateOrUpgrade)
{
    LoopbackHttpServer server([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok", "Set-Cookie: session=abc\r\n"));
    });
    CurlTransferControl control;

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

TEST(Request, RedirectIsAnAnswerWithoutPageAndIsNotFollowed)
{
    LoopbackHttpServer target([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "elsewhere"));
    });
    const std::string location = "Location: " + target.Url("/moved.html") + "\r\n";
    LoopbackHttpServer server([&](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(302, "Found", "moved", location));
    });
    CurlTransferControl control;

    const PollResult result = PollOnce(control, server.Url("/status.html"));

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.body, "");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(target.Connections(), 0) << "the redirect target must never be asked";
}

} // namespace
} // namespace vornix7::test
