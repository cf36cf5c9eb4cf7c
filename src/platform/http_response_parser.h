#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vornix7 {

// Reads one HTTP/1.x response as its bytes arrive, in pieces of any size,
// and tells when the answer is complete. The framing decides that, never the
// timing of the bytes: a body cut off anywhere before its announced end is a
// failure, so a partial page can never pass for the device's answer.
//
// Plain C++ without I/O, so every framing rule is tested on byte strings.
class HttpResponseParser {
public:
    enum class Progress {
        kNeedMore, // the answer is not complete yet
        kComplete, // status and whole body are here; later bytes are ignored
        kFailed,   // not an answer: malformed, over a limit, or cut off
    };

    struct Limits {
        // The status lines and header fields of the answer and of any
        // interim (1xx) responses before it, and the trailers of a chunked
        // body, together. A device sending endless headers is not waited for.
        std::size_t headBytes = 64 * 1024;
        // Decoded body bytes kept; the rest is counted and dropped, so an
        // endless body never grows the process.
        std::size_t keptBodyBytes = 1'000'000;
    };

    // A chunk-size line with its extensions. Real ones are a few bytes.
    static constexpr std::size_t kMaxChunkLineBytes = 4096;

    HttpResponseParser() : HttpResponseParser(Limits{}) {}
    explicit HttpResponseParser(Limits limits) : limits_(limits) {}

    // Takes the next bytes from the connection.
    Progress Feed(std::string_view bytes);
    // The device closed the connection in order (not a reset). That ends a
    // body which has neither a length nor chunks; anywhere else it cuts the
    // answer off.
    Progress PeerClosed();

    Progress progress() const;
    // The status of the latest status line: the answer's (200, 404, ...)
    // once its head has come; 0 before any.
    int status() const { return status_; }
    // The decoded body kept so far, at most Limits::keptBodyBytes; emptied
    // when the parse fails.
    const std::string& body() const { return body_; }
    // All decoded body bytes seen so far, kept or dropped.
    std::uint64_t bodyBytesSeen() const { return bodyBytesSeen_; }

private:
    enum class Stage {
        kStatusLine,
        kHeaderLine,
        kBodyByLength,
        kBodyUntilClose,
        kChunkSizeLine,
        kChunkData,
        kChunkDataEnd,
        kTrailerLine,
        kComplete,
        kFailed,
    };

    bool TakeLine(std::string_view& bytes);
    bool LineFits(std::size_t more);
    void OnLine();
    void OnStatusLine();
    void OnHeaderLine();
    void OnEndOfHead();
    void OnChunkSizeLine();
    void TakeBody(std::string_view& bytes);
    void Keep(std::string_view piece);
    void Fail();

    Limits limits_;
    Stage stage_ = Stage::kStatusLine;
    std::string line_;          // the line being read, without its end
    std::size_t headBytes_ = 0; // charged against Limits::headBytes
    int status_ = 0;

    // Framing of the current response, from its header fields.
    bool hasContentLength_ = false;
    std::uint64_t contentLength_ = 0;
    bool hasTransferEncoding_ = false;
    bool chunked_ = false;
    bool lastFieldFrames_ = false; // the previous field was one of those two

    std::uint64_t bodyLeft_ = 0; // of the length or of the current chunk
    std::string body_;
    std::uint64_t bodyBytesSeen_ = 0;
};

} // namespace vornix7
