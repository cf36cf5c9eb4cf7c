// Real sockets on 127.0.0.1 against a server running on a thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "page.h"
#include "server.h"
#include "test_client.h"

namespace vornix7::sim {
namespace {

using test::Fetch;
using test::ParseResponse;
using test::Reply;
using Clock = std::chrono::steady_clock;

class RunningServer {
public:
    explicit RunningServer(const std::vector<std::string>& args)
        : server_(Parsed(args), nullptr), port_(server_.Listen()), thread_([this] { server_.Run(stop_); })
    {
    }
    ~RunningServer()
    {
        stop_.Request();
        thread_.join();
    }
    std::uint16_t Port() const { return port_; }

private:
    // Every server in a test ends after 30 s at the latest.
    static Options Parsed(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--max-seconds", "30"});
        const auto result = ParseOptions(args);
        EXPECT_EQ(result.kind, ParseResult::Kind::Run) << result.error;
        return result.options;
    }

    StopSignal stop_;
    Server server_;
    std::uint16_t port_;
    std::thread thread_;
};

// What a --count-file holds: the number of requests so far.
std::string CountIn(const std::string& path)
{
    std::string written;
    std::ifstream(path) >> written;
    return written;
}

const std::string kPage = BuildPage("Lab North", {"21.5", "48", "-3.25"});
const std::vector<std::string> kFixed = {"--values", "21.5,48,-3.25"};

std::vector<std::string> With(std::vector<std::string> args)
{
    args.insert(args.end(), kFixed.begin(), kFixed.end());
    return args;
}

struct ModeCase {
    const char* name;
    std::vector<std::string> args;
    int status; // 0: no response at all
    Reply::End end;
    std::function<void(const test::Response&, std::uint16_t port)> check;
};

TEST(Server, EachModeAnswersAsDocumented)
{
    const auto noTags = [](const test::Response& r, std::uint16_t) {
        EXPECT_EQ(r.body.find("<t"), std::string::npos) << r.body;
    };
    const std::vector<ModeCase> cases = {
        {"normal", With({}), 200, Reply::End::Closed,
         [](const test::Response& r, std::uint16_t) {
             EXPECT_EQ(r.body, kPage);
             EXPECT_EQ(r.headers.at("content-length"), std::to_string(kPage.size()));
         }},
        {"empty", With({"--mode", "empty"}), 200, Reply::End::Closed,
         [](const test::Response& r, std::uint16_t) {
             EXPECT_EQ(r.body, "");
             EXPECT_EQ(r.headers.at("content-length"), "0");
         }},
        {"size below page", With({"--mode", "size", "--body-bytes", "50"}), 200, Reply::End::Closed,
         [](const test::Response& r, std::uint16_t) {
             EXPECT_EQ(r.body, kPage.substr(0, 50));
         }},
        {"size above page", With({"--mode", "size", "--body-bytes", "70000"}), 200, Reply::End::Closed,
         [](const test::Response& r, std::uint16_t) {
             EXPECT_EQ(r.headers.at("content-length"), "70000");
             ASSERT_EQ(r.body.size(), 70000u);
             EXPECT_EQ(r.body.substr(0, kPage.size()), kPage);
         }},
        {"close", With({"--mode", "close"}), 0, Reply::End::Closed, nullptr},
        {"status", With({"--mode", "status", "--status", "500"}), 500, Reply::End::Closed, noTags},
        {"status without body", With({"--mode", "status", "--status", "204"}), 204, Reply::End::Closed,
         [](const test::Response& r, std::uint16_t) {
             EXPECT_EQ(r.body, "");
         }},
        {"redirect", With({"--mode", "redirect"}), 302, Reply::End::Closed,
         [&](const test::Response& r, std::uint16_t port) {
             noTags(r, port);
             EXPECT_EQ(r.headers.at("location"), "http://127.0.0.1:" + std::to_string(port) + "/other");
         }},
        {"chunked", With({"--mode", "chunked"}), 200, Reply::End::Closed,
         [](const test::Response& r, std::uint16_t) {
             EXPECT_EQ(r.headers.at("transfer-encoding"), "chunked");
             EXPECT_EQ(r.headers.count("content-length"), 0u);
             int chunks = 0;
             EXPECT_EQ(test::DecodeChunked(r.body, &chunks), kPage);
             EXPECT_GE(chunks, 3);
         }},
        {"reset", With({"--mode", "reset"}), 200, Reply::End::Reset,
         [](const test::Response& r, std::uint16_t) {
             EXPECT_EQ(r.headers.at("content-length"), std::to_string(kPage.size()));
             EXPECT_EQ(r.body, kPage.substr(0, kPage.size() / 2));
         }},
        {"garbage", With({"--mode", "garbage"}), 200, Reply::End::Closed,
         [](const test::Response& r, std::uint16_t) {
             ASSERT_EQ(r.body.size(), 4096u);
             EXPECT_NE(r.body.find('\0'), std::string::npos);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunningServer server(c.args);
        const Reply reply = Fetch(server.Port());
        EXPECT_EQ(reply.end, c.end);
        if (c.status == 0) {
            EXPECT_EQ(reply.bytes, "");
            continue;
        }
        const auto response = ParseResponse(reply.bytes);
        ASSERT_TRUE(response) << reply.bytes;
        EXPECT_EQ(response->status, c.status);
        EXPECT_EQ(response->headers.at("connection"), "close");
        c.check(*response, server.Port());
    }
}

TEST(Server, RedirectTargetServesThePage)
{
    RunningServer server(With({"--mode", "redirect"}));
    const auto response = ParseResponse(Fetch(server.Port(), "GET /other HTTP/1.1\r\n\r\n").bytes);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->body, kPage);
}

TEST(Server, HeadGetsHeadersOnly)
{
    RunningServer server(With({}));
    const auto response = ParseResponse(Fetch(server.Port(), "HEAD / HTTP/1.1\r\n\r\n").bytes);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->headers.at("content-length"), std::to_string(kPage.size()));
    EXPECT_EQ(response->body, "");
}

TEST(Server, SilentKeepsTheConnectionOpenWithoutAnswer)
{
    const std::string count = ::testing::TempDir() + "vornix7_sim_server_silent_count";
    std::remove(count.c_str());
    RunningServer server(With({"--mode", "silent", "--count-file", count}));
    const Reply reply = Fetch(server.Port(), "GET / HTTP/1.1\r\n\r\n", 700);
    EXPECT_EQ(reply.end, Reply::End::TimedOut);
    EXPECT_EQ(reply.bytes, "");
    EXPECT_EQ(CountIn(count), "1");
    std::remove(count.c_str());
}

TEST(Server, DelayAndTrickleTakeTheirTime)
{
    struct TimedCase {
        std::vector<std::string> args;
        std::chrono::milliseconds atLeast;
    };
    const auto trickled = std::chrono::milliseconds(10) * (BuildPage("", {}).size() - 1);
    const std::vector<TimedCase> cases = {
        {With({"--mode", "delay", "--delay-ms", "300"}), std::chrono::milliseconds(300)},
        {{"--mode", "trickle", "--trickle-ms", "10", "--sensors", "0", "--name", ""}, trickled},
    };
    for (const auto& c : cases) {
        RunningServer server(c.args);
        const auto start = Clock::now();
        const auto response = ParseResponse(Fetch(server.Port()).bytes);
        const auto took = Clock::now() - start;
        ASSERT_TRUE(response);
        EXPECT_EQ(response->body.size(), std::stoul(response->headers.at("content-length")));
        EXPECT_NE(response->body.find("</html>"), std::string::npos);
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, c.atLeast + std::chrono::seconds(2));
    }
}

TEST(Server, LargeSizedBodyIsExact)
{
    RunningServer server(With({"--mode", "size", "--body-bytes", "30000000"}));
    const Reply reply = Fetch(server.Port(), "GET / HTTP/1.1\r\n\r\n", 5000, 4096);
    ASSERT_EQ(reply.end, Reply::End::Closed);
    const auto headEnd = reply.bytes.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos);
    EXPECT_EQ(reply.received - (headEnd + 4), 30'000'000u);
}

TEST(Server, ControlFileSwitchesModePerRequestAndCountFileCounts)
{
    const std::string control = ::testing::TempDir() + "vornix7_sim_server_control";
    const std::string count = ::testing::TempDir() + "vornix7_sim_server_count";
    std::remove(control.c_str());
    RunningServer server(With({"--control", control, "--count-file", count}));
    const auto statusNow = [&] {
        const auto response = ParseResponse(Fetch(server.Port()).bytes);
        return response ? response->status : 0;
    };
    EXPECT_EQ(statusNow(), 200);
    std::ofstream(control) << "close\n";
    EXPECT_EQ(statusNow(), 0);
    std::ofstream(control) << "nonsense\n"; // falls back to --mode
    EXPECT_EQ(statusNow(), 200);
    std::remove(control.c_str());
    EXPECT_EQ(statusNow(), 200);

    // A malformed request is no request.
    EXPECT_EQ(ParseResponse(Fetch(server.Port(), "\r\n\r\n").bytes)->status, 400);
    EXPECT_EQ(CountIn(count), "4");
    std::remove(count.c_str());
}

TEST(Server, WalkChangesValuesBetweenRequests)
{
    RunningServer server({"--seed", "3"});
    const auto first = ParseResponse(Fetch(server.Port()).bytes);
    const auto second = ParseResponse(Fetch(server.Port()).bytes);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->body, second->body);
    EXPECT_EQ(first->body, BuildPage("Lab North", RandomWalk(8, 3).Next()));
}

} // namespace
} // namespace vornix7::sim
