#include <gtest/gtest.h>

#include "http.h"
#include "test_client.h"

namespace vornix7::sim {
namespace {

TEST(Http, HeadLength)
{
    const std::vector<std::pair<std::string, std::optional<std::size_t>>> cases = {
        {"", std::nullopt},
        {"GET / HTTP/1.1\r\nHost: a\r\n", std::nullopt},
        {"GET / HTTP/1.1\r\n\r", std::nullopt},
        {"GET / HTTP/1.1\r\n\r\n", 18},
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\nBODY", 27},
        {"GET / HTTP/1.0\n\n", 16},
    };
    for (const auto& [text, length] : cases)
        EXPECT_EQ(HeadLength(text), length) << text;
}

TEST(Http, ParseRequestLine)
{
    const auto line = ParseRequestLine("POST /a?b HTTP/1.0\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->method, "POST");
    EXPECT_EQ(line->target, "/a?b");
    EXPECT_EQ(line->version, "HTTP/1.0");
    for (const char* bad :
         {"GET /\r\n", "GET  / HTTP/1.1\r\n", "GET / HTTP/2\r\n", "\r\n", "GET / HTTP/1.1 x\r\n", "garbage"})
        EXPECT_FALSE(ParseRequestLine(bad)) << bad;
}

TEST(Http, TargetPath)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/", "/"},
        {"/other", "/other"},
        {"/other?x=1", "/other"},
        {"/other#f", "/other"},
        {"http://127.0.0.1:80/other?q", "/other"},
        {"http://127.0.0.1:80", "/"},
    };
    for (const auto& [target, path] : cases)
        EXPECT_EQ(TargetPath(target), path) << target;
}

TEST(Http, ChunkedPiecesDecodeToTheBodyInUnequalChunks)
{
    for (const std::string& body : {std::string(300, 'x'), std::string("ab"), std::string()}) {
        const auto pieces = ChunkedPieces(body, 4);
        std::string wire;
        for (const auto& p : pieces)
            wire += p;
        EXPECT_EQ(test::DecodeChunked(wire), body) << body.size();
        EXPECT_EQ(pieces.back(), "0\r\n\r\n");
    }
    const auto pieces = ChunkedPieces(std::string(300, 'x'), 4);
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_NE(pieces[0].size(), pieces[1].size());
}

} // namespace
} // namespace vornix7::sim
