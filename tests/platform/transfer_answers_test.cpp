// Every complete answer from the device with a 2xx status (or none at all)
// is handed over as its body, unchanged; any other status is an answer
// without a page.
#include "loopback_http_server.h"
#include "poll_driver.h"
#include "test_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <ostream>
#include <thread>

namespace vornix7::test {
namespace {

struct AnswerCase {
    const char* name;
    std::string response; // raw bytes the device sends, then it closes
    std::string body;     // what GetChunk must return
};

const std::string kBinary("\x00\x01\xff\r\n\xc3\xa9", 7);

std::vector<AnswerCase> AnswerCases()
{
    return {
        {"Ok", HttpResponse(200, "OK", "T=21.5;H=40"), "T=21.5;H=40"},
        {"OkEmptyBody", HttpResponse(200, "OK", ""), ""},
        {"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", ""},
        {"BinaryBytesUnchanged", HttpResponse(200, "OK", kBinary), kBinary},
        // The device answered, but with an error page: never readings.
        {"NotFound", HttpResponse(404, "Not Found", "no such page"), ""},
        {"Unauthorized",
         HttpResponse(401, "Unauthorized", "login", "WWW-Authenticate: Basic realm=\"d\"\r\n"), ""},
        {"ProxyAuthenticationRequired",
         HttpResponse(407, "Proxy Authentication Required", "who",
                      "Proxy-Authenticate: Basic realm=\"d\"\r\n"),
         ""},
        {"ServerError", HttpResponse(500, "Internal Server Error", "sensor fault"), ""},
        {"OddServerStatus", HttpResponse(599, "Odd", "odd"), ""},
        {"NotModified", "HTTP/1.1 304 Not Modified\r\n\r\n", ""},
        {"Chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
         "5\r\nT=21.\r\n6\r\n5;H=40\r\n0\r\n\r\n",
         "T=21.5;H=40"},
        {"ChunkedWithExtensionsAndTrailers",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
         "5;ext=1\r\nT=21.\r\n6\r\n5;H=40\r\n0\r\nX-Checksum: 7\r\n\r\n",
         "T=21.5;H=40"},
        {"InterimThenAnswer", "HTTP/1.1 100 Continue\r\n\r\n" + HttpResponse(200, "OK", "T=21.5"), "T=21.5"},
        {"BytesAfterTheLengthAreNotPartOfIt", HttpResponse(200, "OK", "T=21.5") + "T=99", "T=21.5"},
        // Small devices often send no length and end the body by closing.
        {"EndedByClose", "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>T=21.5</p>", "<p>T=21.5</p>"},
        // Quirks of small embedded servers.
        {"BlankBeforeHeaderColon", HttpResponse(200, "OK", "T=21.5", "Server : tiny\r\n"), "T=21.5"},
        {"IdentityCodingWithLength", HttpResponse(200, "OK", "T=21.5", "Transfer-Encoding: identity\r\n"),
         "T=21.5"},
        {"IdentityCodingEndedByClose", "HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\n\r\nT=21.5",
         "T=21.5"},
        // Old firmware sends the page alone, without a status line.
        {"NoStatusLine", "<p>T=21.5</p>", "<p>T=21.5</p>"},
    };
}

void PrintTo(const AnswerCase& c, std::ostream* out)
{
    *out << c.name;
}

class Answers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Answers, BodyIsHandedOver)
{
    const AnswerCase& c = GetParam();
    LoopbackHttpServer server(
        [&](SocketHandle fd, const std::string&) { LoopbackHttpServer::SendAll(fd, c.response); });
    CurlTransferControl control;

    const PollResult result = PollOnce(control, server.Url("/status.html"));

    ASSERT_TRUE(result.finished);
    ASSERT_TRUE(result.body.has_value()) << "an answer must not look like silence";
    EXPECT_EQ(*result.body, c.body);
}

INSTANTIATE_TEST_SUITE_P(Statuses, Answers, ::testing::ValuesIn(AnswerCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AnswerChunks, SuccessiveCallsHandOutTheBodyInPieces)
{
    LoopbackHttpServer server([](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "abcdefg"));
    });
    CurlTransferControl control;
    control.Execute(server.Url("/"), "GET");
    ASSERT_TRUE(WaitWhileExecuting(control, std::chrono::seconds(5)));

    EXPECT_EQ(control.GetChunk(3, 0), "abc");
    EXPECT_EQ(control.GetChunk(3, 0), "def");
    EXPECT_EQ(control.GetChunk(3, 0), "g");
    EXPECT_EQ(control.GetChunk(3, 0), "") << "the end of an answer is empty, not silence";
}

// The logger may allow a single 20 ms step: whatever the framing, an answer
// (or its breaking off) that is all there must be seen at the first look
// after it arrived, not a step later.
struct FirstLookCase {
    const char* name;
    std::string response;               // sent at once, then the device ends the connection
    bool reset;                         // with a reset rather than in order
    std::optional<std::string> outcome; // what GetChunk must give
    bool needsTheReset = false;         // only the reset tells it from a complete answer
};

void PrintTo(const FirstLookCase& c, std::ostream* out)
{
    *out << c.name;
}

class FirstLook : public ::testing::TestWithParam<FirstLookCase> {};

TEST_P(FirstLook, AfterTheAnswerArrivedIsEnough)
{
    const FirstLookCase& c = GetParam();
    if (c.needsTheReset && ResetCanReadAsOrderlyEnd())
        GTEST_SKIP() << "this system's sockets report a reset after data as an orderly end";
    LoopbackHttpServer server([&](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, c.response);
        if (c.reset)
            LoopbackHttpServer::ResetOnClose(fd);
    });
    CurlTransferControl control;
    control.Execute(server.Url("/status.html"), "GET");
    // The request leaves within Execute; the first look comes when the
    // device has long answered and ended the connection.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(server.Requests().size(), 1u) << "the request must leave within Execute";

    EXPECT_FALSE(control.StillExecuting());
    EXPECT_EQ(control.GetChunk(1000000, 0), c.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Framings, FirstLook,
    ::testing::Values(
        FirstLookCase{"Length", HttpResponse(200, "OK", "T=21.5"), false, "T=21.5"},
        FirstLookCase{"Chunked",
                      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nT=21.5\r\n0\r\n\r\n", false,
                      "T=21.5"},
        FirstLookCase{"EndedByClose", "HTTP/1.0 200 OK\r\n\r\nT=21.5", false, "T=21.5"},
        FirstLookCase{"LengthCutOffByClose", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nT=21.5", false,
                      std::nullopt},
        FirstLookCase{"ResetAfterBodyWithoutLength", "HTTP/1.0 200 OK\r\n\r\nT=21.5", true, std::nullopt,
                      true},
        FirstLookCase{"ClosedWithoutAnswer", "", false, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AnswerEnd, KnownLengthEndsTheRequestWithoutWaitingForTheDevice)
{
    // The device answers in full, then keeps the connection open: the
    // answer is complete, and the logger closes the connection itself.
    std::atomic<bool> clientClosed{false};
    LoopbackHttpServer server([&](SocketHandle fd, const std::string&) {
        LoopbackHttpServer::SendAll(fd, HttpResponse(200, "OK", "T=21.5"));
        clientClosed = LoopbackHttpServer::WaitForClientClose(fd, 3000);
    });
    CurlTransferControl control;

    const PollResult result = PollOnce(control, server.Url("/status.html"), std::chrono::seconds(2));

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.body, "T=21.5");
    EXPECT_LT(result.elapsed, std::chrono::milliseconds(1000));
    // The server thread sees the close only after the poll; give it time.
    for (int i = 0; i < 100 && !clientClosed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(clientClosed) << "the connection must be closed once the answer is complete";
}

} // namespace
} // namespace vornix7::test
