#include "platform/http_response_parser.h"

#include "common/ascii.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vornix7 {

namespace {

constexpr std::string_view kVersionPrefix = "HTTP/1.";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A character of a header field name (RFC 9110 token).
bool IsTokenChar(char c)
{
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
           || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Calls `each` with every element of a comma-separated field value, blanks
// around it trimmed, empty elements skipped as lists allow. Stops early and
// returns false as soon as `each` does.
template <typename Each> bool ForEachListElement(std::string_view value, Each each)
{
    while (true) {
        const std::size_t comma = std::min(value.find(','), value.size());
        const std::string_view element = TrimBlanks(value.substr(0, comma));
        if (!element.empty() && !each(element))
            return false;
        if (comma == value.size())
            return true;
        value.remove_prefix(comma + 1);
    }
}

std::optional<std::uint64_t> ParseDecimal(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (!IsAsciiDigit(c) || value > (std::numeric_limits<std::uint64_t>::max() - 9) / 10)
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

} // namespace

HttpResponseParser::Progress HttpResponseParser::progress() const
{
    switch (stage_) {
    case Stage::kComplete:
        return Progress::kComplete;
    case Stage::kFailed:
        return Progress::kFailed;
    default:
        return Progress::kNeedMore;
    }
}

HttpResponseParser::Progress HttpResponseParser::Feed(std::string_view bytes)
{
    while (!bytes.empty() && progress() == Progress::kNeedMore) {
        switch (stage_) {
        case Stage::kBodyByLength:
        case Stage::kChunkData:
        case Stage::kBodyUntilClose:
            TakeBody(bytes);
            break;
        default:
            if (TakeLine(bytes))
                OnLine();
            break;
        }
    }
    return progress();
}

HttpResponseParser::Progress HttpResponseParser::PeerClosed()
{
    if (stage_ == Stage::kBodyUntilClose)
        stage_ = Stage::kComplete;
    else if (stage_ != Stage::kComplete)
        Fail();
    return progress();
}

bool HttpResponseParser::TakeLine(std::string_view& bytes)
{
    const std::size_t lf = bytes.find('\n');
    const std::size_t take = lf == std::string_view::npos ? bytes.size() : lf + 1;
    if (!LineFits(take)) {
        Fail();
        return false;
    }
    line_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    // Something that is not HTTP is refused at its first bytes rather than
    // waited for until a line end that may never come.
    if (stage_ == Stage::kStatusLine
        && line_.compare(0, kVersionPrefix.size(), kVersionPrefix.substr(0, line_.size())) != 0) {
        Fail();
        return false;
    }
    if (lf == std::string_view::npos)
        return false;
    // Lines end in CR LF; a bare LF is taken too, as RFC 9112 allows.
    line_.pop_back();
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    return true;
}

bool HttpResponseParser::LineFits(std::size_t more)
{
    switch (stage_) {
    case Stage::kChunkSizeLine:
        return line_.size() + more <= kMaxChunkLineBytes;
    case Stage::kChunkDataEnd:
        return line_.size() + more <= 2; // exactly CR LF (or LF) is due
    default:
        headBytes_ += more;
        return headBytes_ <= limits_.headBytes;
    }
}

void HttpResponseParser::OnLine()
{
    switch (stage_) {
    case Stage::kStatusLine:
        OnStatusLine();
        break;
    case Stage::kHeaderLine:
        OnHeaderLine();
        break;
    case Stage::kChunkSizeLine:
        OnChunkSizeLine();
        break;
    case Stage::kChunkDataEnd:
        if (line_.empty())
            stage_ = Stage::kChunkSizeLine;
        else
            Fail();
        break;
    case Stage::kTrailerLine:
        // Trailer fields say nothing the logger uses; the blank line ends
        // the answer.
        if (line_.empty())
            stage_ = Stage::kComplete;
        break;
    default:
        break;
    }
    line_.clear();
}

void HttpResponseParser::OnStatusLine()
{
    // HTTP/1.x SP 3DIGIT [SP reason]; the reason is free text and ignored.
    const std::string_view line = line_;
    const std::size_t codeAt = kVersionPrefix.size() + 2;
    if (line.size() < codeAt + 3 || !IsAsciiDigit(line[kVersionPrefix.size()]) || line[codeAt - 1] != ' '
        || !IsAsciiDigit(line[codeAt]) || !IsAsciiDigit(line[codeAt + 1]) || !IsAsciiDigit(line[codeAt + 2])
        || (line.size() > codeAt + 3 && line[codeAt + 3] != ' ')) {
        Fail();
        return;
    }
    const int code = (line[codeAt] - '0') * 100 + (line[codeAt + 1] - '0') * 10 + (line[codeAt + 2] - '0');
    if (code < 100 || code > 599) {
        Fail();
        return;
    }
    status_ = code;
    hasContentLength_ = false;
    contentLength_ = 0;
    hasTransferEncoding_ = false;
    chunked_ = false;
    lastFieldFrames_ = false;
    stage_ = Stage::kHeaderLine;
}

void HttpResponseParser::OnHeaderLine()
{
    const std::string_view line = line_;
    if (line.empty()) {
        OnEndOfHead();
        return;
    }
    if (IsBlank(line.front())) {
        // An obsolete folded continuation. Harmless on any other field, but
        // on a framing field it would change the length or coding read.
        if (lastFieldFrames_)
            Fail();
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0
        || !std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), IsTokenChar)) {
        Fail(); // includes blanks before the colon, which RFC 9112 forbids
        return;
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    lastFieldFrames_ = false;
    if (EqualsNoCase(name, "Content-Length")) {
        lastFieldFrames_ = true;
        // Repeated lengths (in one field or several) must all agree: two
        // different ones leave the body's end unknown.
        const bool valid = !value.empty() && ForEachListElement(value, [this](std::string_view element) {
            const std::optional<std::uint64_t> length = ParseDecimal(element);
            if (!length || (hasContentLength_ && *length != contentLength_))
                return false;
            hasContentLength_ = true;
            contentLength_ = *length;
            return true;
        });
        if (!valid)
            Fail();
    } else if (EqualsNoCase(name, "Transfer-Encoding")) {
        lastFieldFrames_ = true;
        hasTransferEncoding_ = true;
        // Only "chunked", once and last. No other coding was asked for; one
        // such as gzip would hand over bytes that are not the page.
        const bool valid = ForEachListElement(value, [this](std::string_view coding) {
            if (chunked_ || !EqualsNoCase(coding, "chunked"))
                return false;
            chunked_ = true;
            return true;
        });
        if (!valid)
            Fail();
    }
}

void HttpResponseParser::OnEndOfHead()
{
    if (status_ < 200) {
        // An interim response (100 Continue, 103 Early Hints, ...): the
        // answer follows it on the same connection.
        stage_ = Stage::kStatusLine;
    } else if (status_ == 204 || status_ == 304) {
        // No body belongs to these, whatever the header fields say.
        stage_ = Stage::kComplete;
    } else if (hasTransferEncoding_) {
        // Chunking wins over a length (RFC 9112 6.3).
        if (chunked_)
            stage_ = Stage::kChunkSizeLine;
        else
            Fail();
    } else if (hasContentLength_) {
        bodyLeft_ = contentLength_;
        stage_ = bodyLeft_ == 0 ? Stage::kComplete : Stage::kBodyByLength;
    } else {
        stage_ = Stage::kBodyUntilClose;
    }
}

void HttpResponseParser::OnChunkSizeLine()
{
    // 1*HEXDIG [BWS ";" extensions]; extensions carry nothing for us.
    std::string_view line = line_;
    std::uint64_t size = 0;
    std::size_t digits = 0;
    for (; digits < line.size() && AsciiHexValue(line[digits]) >= 0; ++digits) {
        if (size > (std::numeric_limits<std::uint64_t>::max() >> 4)) {
            Fail();
            return;
        }
        size = size * 16 + static_cast<std::uint64_t>(AsciiHexValue(line[digits]));
    }
    line.remove_prefix(digits);
    line = TrimBlanks(line);
    if (digits == 0 || (!line.empty() && line.front() != ';')) {
        Fail();
        return;
    }
    if (size == 0) {
        stage_ = Stage::kTrailerLine;
    } else {
        bodyLeft_ = size;
        stage_ = Stage::kChunkData;
    }
}

void HttpResponseParser::TakeBody(std::string_view& bytes)
{
    if (stage_ == Stage::kBodyUntilClose) {
        Keep(bytes);
        bytes = {};
        return;
    }
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft_, bytes.size()));
    Keep(bytes.substr(0, take));
    bytes.remove_prefix(take);
    bodyLeft_ -= take;
    if (bodyLeft_ == 0)
        stage_ = stage_ == Stage::kChunkData ? Stage::kChunkDataEnd : Stage::kComplete;
}

void HttpResponseParser::Keep(std::string_view piece)
{
    bodyBytesSeen_ += piece.size();
    const std::size_t room = limits_.keptBodyBytes - std::min(limits_.keptBodyBytes, body_.size());
    body_.append(piece.substr(0, std::min(room, piece.size())));
}

void HttpResponseParser::Fail()
{
    stage_ = Stage::kFailed;
    std::string().swap(body_);
    std::string().swap(line_);
}

} // namespace vornix7
