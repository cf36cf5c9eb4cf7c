#include "answer.h"

#include <algorithm>
#include <array>

#include "http.h"
#include "page.h"

namespace vornix7::sim {

namespace {

constexpr std::size_t kStreamPiece = 64 * 1024;
constexpr int kChunkCount = 4;
constexpr int kChunkPauseMs = 20;
// Lets the half body reach the client before the reset, so the client sees
// "some data, then connection reset" rather than just a reset.
constexpr int kResetPauseMs = 100;

// Tracks what was sent and stops at the first failure.
class Writer {
public:
    Writer(Connection& connection, AnswerOutcome& outcome, bool headOnly)
        : connection_(connection), outcome_(outcome), headOnly_(headOnly)
    {
    }

    bool Head(int status, const Headers& headers)
    {
        outcome_.status = status;
        return Send(ResponseHead(status, headers), 0);
    }

    // `counted` is how many body bytes `data` stands for (chunk framing is not counted).
    bool Body(std::string_view data, std::uint64_t counted) { return headOnly_ || Send(data, counted); }

    bool Pause(int ms)
    {
        if (ok_ && !connection_.Pause(ms))
            Fail("stopped");
        return ok_;
    }

    bool Ok() const { return ok_; }
    bool HeadOnly() const { return headOnly_; }

private:
    bool Send(std::string_view data, std::uint64_t counted)
    {
        if (!ok_)
            return false;
        switch (connection_.SendAll(data)) {
        case IoResult::Ok:
            outcome_.bodyBytes += counted;
            return true;
        case IoResult::Stopped:
            Fail("stopped");
            return false;
        case IoResult::TimedOut:
            Fail("client stopped reading");
            return false;
        default:
            Fail("client went away");
            return false;
        }
    }

    void Fail(std::string note)
    {
        ok_ = false;
        outcome_.note = std::move(note);
    }

    Connection& connection_;
    AnswerOutcome& outcome_;
    bool headOnly_;
    bool ok_ = true;
};

void SendHtml(Writer& out, int status, const std::string& body, Headers extra = {})
{
    Headers headers = HtmlHeaders(body.size());
    headers.insert(headers.end(), extra.begin(), extra.end());
    if (out.Head(status, headers))
        out.Body(body, body.size());
}

template <typename FillFn> void Stream(Writer& out, std::uint64_t total, FillFn fill)
{
    std::array<char, kStreamPiece> piece{};
    for (std::uint64_t offset = 0; offset < total && out.Ok() && !out.HeadOnly();) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kStreamPiece, total - offset));
        fill(offset, std::span<char>(piece.data(), n));
        out.Body(std::string_view(piece.data(), n), n);
        offset += n;
    }
}

} // namespace

AnswerOutcome Answer(Connection& connection, Mode mode, const AnswerContext& context)
{
    const Options& o = context.options;
    AnswerOutcome outcome;
    Writer out(connection, outcome, context.headOnly);

    switch (mode) {
    case Mode::Normal:
        SendHtml(out, 200, context.nextPage());
        break;
    case Mode::Delay:
        if (out.Pause(static_cast<int>(o.delayMs)))
            SendHtml(out, 200, context.nextPage());
        break;
    case Mode::Silent:
        outcome.holdOpen = true;
        outcome.note = "holding the connection";
        break;
    case Mode::Empty:
        out.Head(200, HtmlHeaders(0));
        break;
    case Mode::Size: {
        const std::string page = context.nextPage();
        if (out.Head(200, HtmlHeaders(o.bodyBytes)))
            Stream(out, o.bodyBytes,
                   [&](std::uint64_t offset, std::span<char> piece) { SizedBodySlice(page, offset, piece); });
        break;
    }
    case Mode::Close:
        outcome.note = "closed without answer";
        break;
    case Mode::Reset: {
        const std::string page = context.nextPage();
        if (out.Head(200, HtmlHeaders(page.size()))
            && out.Body(std::string_view(page).substr(0, page.size() / 2), page.size() / 2))
            out.Pause(kResetPauseMs);
        connection.CloseWithReset();
        outcome.closed = true;
        if (outcome.note.empty())
            outcome.note = "then reset";
        break;
    }
    case Mode::Trickle: {
        const std::string page = context.nextPage();
        if (!out.Head(200, HtmlHeaders(page.size())) || out.HeadOnly())
            break;
        for (std::size_t i = 0; i < page.size(); ++i) {
            if ((i > 0 && !out.Pause(static_cast<int>(o.trickleMs)))
                || !out.Body(std::string_view(page).substr(i, 1), 1))
                break;
        }
        break;
    }
    case Mode::Chunked: {
        const std::string page = context.nextPage();
        if (!out.Head(200, {{"Content-Type", "text/html"}, {"Transfer-Encoding", "chunked"}}))
            break;
        const auto pieces = ChunkedPieces(page, kChunkCount);
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0 && !out.Pause(kChunkPauseMs))
                break;
            // Count only the payload, i.e. what the client should decode.
            const auto payload = pieces[i].size() - pieces[i].find('\n') - 3;
            if (!out.Body(pieces[i], payload))
                break;
        }
        break;
    }
    case Mode::Status:
        if (StatusAllowsBody(o.status))
            SendHtml(out, o.status, "<html><body>Error " + std::to_string(o.status) + "</body></html>\n");
        else
            out.Head(o.status, {});
        break;
    case Mode::Redirect:
        SendHtml(out, 302, "<html><body>Moved to <a href=\"/other\">/other</a></body></html>\n",
                 {{"Location", "http://127.0.0.1:" + std::to_string(context.port) + "/other"}});
        break;
    case Mode::Garbage: {
        GarbageStream garbage(context.garbageSeed);
        if (out.Head(200, HtmlHeaders(o.bodyBytes)))
            Stream(out, o.bodyBytes, [&](std::uint64_t, std::span<char> piece) { garbage.Fill(piece); });
        break;
    }
    }
    return outcome;
}

} // namespace vornix7::sim
