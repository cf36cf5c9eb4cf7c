// What the device sees: one plain GET for exactly the configured address,
// straight from the logger, with nothing carried over between polls.
#include "loopback_http_server.h"
#include "poll_driver.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    LoopbackHttpServer server(
        [](int fd, const std::string&) { LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok")); });
    QtTransferControl control;

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
    LoopbackHttpServer server(
        [](int fd, const std::string&) { LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok")); });
    QtTransferControl control;

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

TEST(Request, HostNameIsLookedUpAndWrittenAsGiven)
{
    LoopbackHttpServer server(
        [](int fd, const std::string&) { LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "ok")); });
    QtTransferControl control;
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
    LoopbackHttpServer server([&](int fd, const std::string&) { LoopbackHttpServer::SendAll(fd, answer); });
    QtTransferControl control;
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

// Another name of this machine that leads to 127.0.0.1, usually its host
// name. Qt never proxies a connection to "localhost" or a loopback address,
// so only such a name can show that a proxy setting is ignored.
std::optional<std::string> LoopbackAlias()
{
    const QString name = QHostInfo::localHostName();
    if (name.isEmpty() || name.startsWith(QLatin1String("localhost"), Qt::CaseInsensitive))
        return std::nullopt;
    for (const QHostAddress& address : QHostInfo::fromName(name).addresses())
        if (address == QHostAddress(QHostAddress::LocalHost))
            return name.toStdString();
    return std::nullopt;
}

TEST(Request, NoProxyWhateverTheApplicationSays)
{
    const std::optional<std::string> alias = LoopbackAlias();
    if (!alias)
        GTEST_SKIP() << "this machine's host name does not lead to 127.0.0.1";
    // A proxy set for the whole application, as the system's settings could
    // bring one in, points nowhere; the device must still be asked directly.
    LoopbackHttpServer server([](int fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "direct"));
    });
    const QNetworkProxy before = QNetworkProxy::applicationProxy();
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", ClosedLoopbackPort()));
    QtTransferControl control;

    const PollResult result =
        PollOnce(control, "http://" + *alias + ":" + std::to_string(server.Port()) + "/status.html");
    QNetworkProxy::setApplicationProxy(before);

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.body, "direct");
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
