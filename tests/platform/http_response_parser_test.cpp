// Framing of a response fed as its bytes may arrive: whole, byte by byte, and
// split in two at every point. Where the bytes are cut must never change the
// outcome: a partial body must never read as complete.
#include "platform/http_response_parser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace vornix7 {
namespace {

using Progress = HttpResponseParser::Progress;
constexpr Progress kMore = Progress::kNeedMore;
constexpr Progress kDone = Progress::kComplete;
constexpr Progress kFail = Progress::kFailed;

struct ParseCase {
    const char* name;
    std::string bytes;
    Progress afterBytes;   // with the connection still open
    Progress afterClose;   // after the device then closes in order
    int status = 0;        // checked when complete
    std::string body = {}; // checked when complete
};

const std::string kOkHead = "HTTP/1.1 200 OK\r\n";
const std::string kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string kChunks = "5\r\nT=21.\r\n6\r\n5;H=40\r\n";

std::vector<ParseCase> ParseCases()
{
    return {
        // Content-Length
        {"LengthExact", kOkHead + "Content-Length: 5\r\n\r\nhello", kDone, kDone, 200, "hello"},
        {"LengthShortThenClosed", kOkHead + "Content-Length: 10\r\n\r\nhello", kMore, kFail},
        {"LengthLongExcessIgnored", kOkHead + "Content-Length: 5\r\n\r\nhelloEXTRA", kDone, kDone, 200,
         "hello"},
        {"LengthZero", kOkHead + "Content-Length: 0\r\n\r\n", kDone, kDone, 200, ""},
        {"LengthRepeatedEqual", kOkHead + "Content-Length: 2, 2\r\ncontent-length: 2\r\n\r\nok", kDone, kDone,
         200, "ok"},
        {"LengthConflicting", kOkHead + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nok!", kFail, kFail},
        {"LengthNotANumber", kOkHead + "Content-Length: 2a\r\n\r\nok", kFail, kFail},
        {"LengthNegative", kOkHead + "Content-Length: -1\r\n\r\n", kFail, kFail},
        {"LengthEmpty", kOkHead + "Content-Length:\r\n\r\n", kFail, kFail},
        {"LengthOverflow", kOkHead + "Content-Length: 99999999999999999999\r\n\r\n", kFail, kFail},
        {"LengthFoldedOnto", kOkHead + "Content-Length: 2\r\n 3\r\n\r\nok", kFail, kFail},
        {"OtherFieldFoldedIgnored", kOkHead + "X-Note: a\r\n b\r\nContent-Length: 2\r\n\r\nok", kDone, kDone,
         200, "ok"},

        // No length, no chunks: the body ends when the device closes.
        {"UntilClose", "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>T</p>", kMore, kDone, 200,
         "<p>T</p>"},
        {"UntilCloseEmpty", "HTTP/1.0 200 OK\r\n\r\n", kMore, kDone, 200, ""},

        // Chunked
        {"Chunked", kChunkedHead + kChunks + "0\r\n\r\n", kDone, kDone, 200, "T=21.5;H=40"},
        {"ChunkedExtensions", kChunkedHead + "5;a=b;c\r\nT=21.\r\n6 ; q=\"x\"\r\n5;H=40\r\n0;end\r\n\r\n",
         kDone, kDone, 200, "T=21.5;H=40"},
        {"ChunkedTrailers", kChunkedHead + kChunks + "0\r\nX-Sum: 9\r\nX-More: 1\r\n\r\n", kDone, kDone, 200,
         "T=21.5;H=40"},
        {"ChunkedHexCaseAndZeros", kChunkedHead + "00A\r\n0123456789\r\nb\r\nabcdefghijk\r\n000\r\n\r\n",
         kDone, kDone, 200, "0123456789abcdefghijk"},
        {"ChunkedBareLineFeeds", "HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n3\nabc\n0\n\n", kDone, kDone,
         200, "abc"},
        {"ChunkedExcessIgnored", kChunkedHead + "2\r\nok\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n", kDone, kDone, 200,
         "ok"},
        {"ChunkedWinsOverLength",
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n"
         "2\r\nok\r\n0\r\n\r\n",
         kDone, kDone, 200, "ok"},
        {"ChunkedNameCase", "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
         kDone, kDone, 200, "ok"},
        {"ChunkedCutInSizeLine", kChunkedHead + "5", kMore, kFail},
        {"ChunkedCutInData", kChunkedHead + "5\r\nT=2", kMore, kFail},
        {"ChunkedCutAfterData", kChunkedHead + kChunks, kMore, kFail},
        {"ChunkedCutAfterLastChunk", kChunkedHead + kChunks + "0\r\n", kMore, kFail},
        {"ChunkedCutInTrailers", kChunkedHead + kChunks + "0\r\nX-Sum: 9\r\n", kMore, kFail},
        {"ChunkedSizeNotHex", kChunkedHead + "zz\r\nabc\r\n0\r\n\r\n", kFail, kFail},
        {"ChunkedSizeMissing", kChunkedHead + "\r\nabc\r\n0\r\n\r\n", kFail, kFail},
        {"ChunkedSizePrefixed", kChunkedHead + "0x3\r\nabc\r\n0\r\n\r\n", kFail, kFail},
        {"ChunkedSizeOverflow", kChunkedHead + "10000000000000000\r\n", kFail, kFail},
        {"ChunkedDataLongerThanSize", kChunkedHead + "3\r\nabcd\r\n0\r\n\r\n", kFail, kFail},
        {"ChunkedDataShorterThanSize", kChunkedHead + "5\r\nabc\r\n0\r\n\r\n", kFail, kFail},
        {"OtherCodingRefused", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nxx", kFail, kFail},
        {"CodingBeforeChunkedRefused", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", kFail,
         kFail},
        {"ChunkedTwiceRefused",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n", kFail, kFail},
        {"EmptyCodingRefused", "HTTP/1.1 200 OK\r\nTransfer-Encoding:\r\n\r\nabc", kFail, kFail},

        // Statuses
        {"NotFoundIsAnAnswer", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", kDone, kDone, 404,
         "gone"},
        {"ServerErrorIsAnAnswer", "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n", kDone, kDone, 500, ""},
        {"NoContentHasNoBody", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\nhello", kDone, kDone, 204,
         ""},
        {"NotModifiedHasNoBody", "HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n", kDone,
         kDone, 304, ""},
        {"InterimSkipped", "HTTP/1.1 100 Continue\r\n\r\n" + kOkHead + "Content-Length: 2\r\n\r\nok", kDone,
         kDone, 200, "ok"},
        {"SeveralInterimSkipped",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n" + kOkHead
             + "Content-Length: 2\r\n\r\nok",
         kDone, kDone, 200, "ok"},
        {"OnlyInterim", "HTTP/1.1 100 Continue\r\n\r\n", kMore, kFail},
        {"NoReasonPhrase", "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok", kDone, kDone, 200, "ok"},
        {"Http10", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", kDone, kDone, 200, "ok"},

        // Not an HTTP/1.x answer
        {"NotHttp", "SSH-2.0-OpenSSH_9.2\r\n", kFail, kFail},
        {"NothingSent", "", kMore, kFail},
        {"Http2Version", "HTTP/2.0 200 OK\r\n\r\n", kFail, kFail},
        {"TwoDigitStatus", "HTTP/1.1 20 OK\r\n\r\n", kFail, kFail},
        {"StatusRunsIntoReason", "HTTP/1.1 200OK\r\n\r\n", kFail, kFail},
        {"StatusBelowRange", "HTTP/1.1 099 Odd\r\n\r\n", kFail, kFail},
        {"StatusAboveRange", "HTTP/1.1 600 Odd\r\n\r\n", kFail, kFail},
        {"LeadingBlankLine", "\r\nHTTP/1.1 200 OK\r\n\r\n", kFail, kFail},
        {"FieldWithoutColon", kOkHead + "Content-Length 2\r\n\r\nok", kFail, kFail},
        {"BlankBeforeColon", kOkHead + "Content-Length : 2\r\n\r\nok", kFail, kFail},
        {"CutInStatusLine", "HTTP/1.1 200", kMore, kFail},
        {"CutInHead", kOkHead + "Content-Le", kMore, kFail},
    };
}

void PrintTo(const ParseCase& c, std::ostream* out)
{
    *out << c.name;
}

// Feeds the pieces, then checks the outcome with the connection open and
// after an orderly close.
void ExpectOutcome(const ParseCase& c, const std::vector<std::string_view>& pieces, const std::string& how)
{
    HttpResponseParser parser;
    for (std::string_view piece : pieces)
        parser.Feed(piece);
    ASSERT_EQ(parser.progress(), c.afterBytes) << how;
    if (c.afterBytes == kDone) {
        EXPECT_EQ(parser.status(), c.status) << how;
        EXPECT_EQ(parser.body(), c.body) << how;
    }
    if (c.afterBytes == kFail) {
        EXPECT_EQ(parser.body(), "") << "nothing of a failed answer is kept; " << how;
    }
    ASSERT_EQ(parser.PeerClosed(), c.afterClose) << how << ", then closed";
    if (c.afterClose == kDone) {
        EXPECT_EQ(parser.status(), c.status) << how << ", then closed";
        EXPECT_EQ(parser.body(), c.body) << how << ", then closed";
    }
}

class Framing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Framing, AllAtOnce)
{
    ExpectOutcome(GetParam(), {GetParam().bytes}, "all at once");
}

TEST_P(Framing, ByteByByte)
{
    const std::string& bytes = GetParam().bytes;
    std::vector<std::string_view> pieces;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        pieces.push_back(std::string_view(bytes).substr(i, 1));
    ExpectOutcome(GetParam(), pieces, "byte by byte");
}

TEST_P(Framing, SplitInTwoAnywhere)
{
    const std::string_view bytes = GetParam().bytes;
    for (std::size_t at = 1; at < bytes.size(); ++at)
        ExpectOutcome(GetParam(), {bytes.substr(0, at), bytes.substr(at)}, "split at " + std::to_string(at));
}

INSTANTIATE_TEST_SUITE_P(Responses, Framing, ::testing::ValuesIn(ParseCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The head limit covers all status lines and fields, interim responses and
// trailers included, so no way of sending endless header bytes is waited for.
struct HeadLimitCase {
    const char* name;
    std::string before;  // bytes before the filler field
    std::string after;   // bytes after it
    std::size_t notHead; // of those, bytes of the body and its chunk framing
};

class HeadLimit : public ::testing::TestWithParam<HeadLimitCase> {};

TEST_P(HeadLimit, JustUnderPassesAndJustOverFails)
{
    constexpr std::size_t kLimit = 1024;
    const HeadLimitCase& c = GetParam();
    const std::string fieldStart = "X-Fill: ";
    const std::size_t headOutsideFiller =
        c.before.size() + fieldStart.size() + 2 + c.after.size() - c.notHead;
    const std::size_t fillerFits = kLimit - headOutsideFiller;
    for (const std::size_t filler : {fillerFits, fillerFits + 1}) {
        HttpResponseParser parser({.headBytes = kLimit, .keptBodyBytes = 100});
        parser.Feed(c.before + fieldStart + std::string(filler, 'a') + "\r\n" + c.after);
        EXPECT_EQ(parser.progress(), filler == fillerFits ? kDone : kFail) << "filler " << filler;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Heads, HeadLimit,
    ::testing::Values(HeadLimitCase{"InAnswerHead", kOkHead, "Content-Length: 2\r\n\r\nok", 2},
                      HeadLimitCase{"InInterimHead", "HTTP/1.1 100 Continue\r\n",
                                    "\r\n" + kOkHead + "Content-Length: 2\r\n\r\nok", 2},
                      HeadLimitCase{"InTrailers", kChunkedHead + "2\r\nok\r\n0\r\n", "\r\n", 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeadLimit, DefaultIs64KiB)
{
    HttpResponseParser parser;
    parser.Feed(kOkHead + "X-Fill: " + std::string(64 * 1024, 'a'));
    EXPECT_EQ(parser.progress(), kFail) << "no line end is waited for past the limit";
}

TEST(ChunkLine, ExtensionsBeyondTheLineLimitFail)
{
    HttpResponseParser parser;
    parser.Feed(kChunkedHead + "2;" + std::string(HttpResponseParser::kMaxChunkLineBytes, 'x'));
    EXPECT_EQ(parser.progress(), kFail);
}

struct KeptCase {
    const char* name;
    std::string bytes;
    bool closes;
};

class KeptBody : public ::testing::TestWithParam<KeptCase> {};

TEST_P(KeptBody, KeepsTheFirstBytesAndCountsTheRest)
{
    // Kept: the first 4 decoded bytes of "abcdefghij", whatever the framing.
    HttpResponseParser parser({.headBytes = 1024, .keptBodyBytes = 4});
    for (char c : GetParam().bytes)
        parser.Feed(std::string_view(&c, 1));
    if (GetParam().closes)
        parser.PeerClosed();
    ASSERT_EQ(parser.progress(), kDone);
    EXPECT_EQ(parser.body(), "abcd");
    EXPECT_EQ(parser.bodyBytesSeen(), 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Framings, KeptBody,
    ::testing::Values(KeptCase{"Length", kOkHead + "Content-Length: 10\r\n\r\nabcdefghij", false},
                      KeptCase{"Chunked", kChunkedHead + "3\r\nabc\r\n7\r\ndefghij\r\n0\r\n\r\n", false},
                      KeptCase{"UntilClose", kOkHead + "\r\nabcdefghij", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vornix7
