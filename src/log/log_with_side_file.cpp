#include "log/log_with_side_file.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "common/control_bytes.h"
#include "common/runtime_error.h"
#include "log/log_line.h"
#include "platform/files.h"
#include "platform/locked_file.h"

namespace vornix7 {

namespace {

// A side file removed by another logger just as this one looked: looked at
// again, a few times at most.
constexpr int kLooks = 4;

// The side file is read, and the log written, in pieces of this size; a
// longer line is not a log line.
constexpr std::size_t kPiece = std::size_t{1} << 20U;
// Of the log's end, what an earlier version's cut-short move is looked for in.
constexpr std::size_t kLegacyTail = std::size_t{64} << 10U;

// Of the side file's start, what tells it from an earlier one.
constexpr std::size_t kHead = 64;

// The side file's record of a move begun: the log's size then.
constexpr std::string_view kMoveRecord = "# moving into the log from byte ";

bool Take(std::string_view& text, std::string_view part)
{
    if (!text.starts_with(part)) {
        return false;
    }
    text.remove_prefix(part.size());
    return true;
}

bool IsControl(char c)
{
    return IsControlByte(c, ControlBytes::kAllButTab);
}

std::optional<std::uint64_t> MoveRecordIn(std::string_view line)
{
    if (!Take(line, kMoveRecord) || !line.ends_with("\r\n")) {
        return std::nullopt;
    }
    line.remove_suffix(2);
    std::uint64_t value = 0;
    const char* const end = line.data() + line.size();
    const auto [stop, error] = std::from_chars(line.data(), end, value);
    if (line.size() > 19 || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// How many of the first bytes of `waiting` (whole lines of it) already
// stand at the end of `tail`, the log's last bytes: those a move of an
// earlier version, which kept no record, left there when cut short.
std::size_t LinesAlreadyAtEnd(std::string_view tail, std::string_view waiting)
{
    // The longest run of whole first lines wins: a move writes them all at
    // once, so a cut-short one left a run of them, never a later one alone.
    for (std::size_t end = std::min(tail.size(), waiting.size()); end > 0; --end) {
        if (waiting[end - 1] == '\n' && tail.ends_with(waiting.substr(0, end))) {
            return end;
        }
    }
    return 0;
}

// The side file's lines from `from` to `end`, read in pieces.
class SideLines {
public:
    struct Piece {
        std::string_view bytes;
        bool line = false;     // a whole line with its line end, short enough to be a log line
        std::uint64_t end = 0; // the offset after it
    };

    SideLines(SideFile& side, std::uint64_t from, std::uint64_t end)
        : side_(side), read_(from), end_(end), start_(from)
    {
    }

    // The next line; a line too long, or the last one when it has no line
    // end, comes in pieces that are not lines. False at the end, or on an
    // error (then in error()).
    bool Next(Piece& piece)
    {
        for (;;) {
            if (const std::size_t lineEnd = buffer_.find('\n', at_); lineEnd != std::string::npos) {
                piece.bytes = std::string_view(buffer_).substr(at_, lineEnd + 1 - at_);
                piece.line = !overlong_;
                overlong_ = false;
                at_ = lineEnd + 1;
                piece.end = start_ + at_;
                return true;
            }
            const bool rest = at_ < buffer_.size();
            if (rest && (read_ >= end_ || buffer_.size() - at_ >= kPiece)) {
                overlong_ = read_ < end_;
                piece.bytes = std::string_view(buffer_).substr(at_);
                piece.line = false;
                at_ = buffer_.size();
                piece.end = start_ + at_;
                return true;
            }
            if (read_ >= end_) {
                return false;
            }
            buffer_.erase(0, at_);
            start_ += at_;
            at_ = 0;
            auto read =
                side_.ReadAt(read_, static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end_ - read_)));
            if (!read.ok()) {
                error_ = read.error();
                return false;
            }
            const std::string& more = *read;
            if (more.empty()) {
                end_ = read_; // cut meanwhile
            }
            read_ += more.size();
            buffer_ += more;
        }
    }

    const std::optional<SystemError>& error() const { return error_; }

private:
    SideFile& side_;
    std::uint64_t read_;
    std::uint64_t end_;
    std::uint64_t start_; // the offset of buffer_[0]
    std::string buffer_;
    std::size_t at_ = 0;
    bool overlong_ = false;
    std::optional<SystemError> error_;
};

// What a move writes into the log: a line end for a half line the log ends
// in, then every line of the log's form in the side file, in pieces;
// everything else goes to `setAside` (when given).
class MovedBytes {
public:
    using SetAside = std::function<void(std::string_view bytes)>;

    MovedBytes(SideFile& side, std::uint64_t end, bool endHalfLine, SetAside setAside = nullptr)
        : lines_(side, 0, end), endHalfLine_(endHalfLine), setAside_(std::move(setAside))
    {
    }

    bool Next(std::string& piece)
    {
        piece.clear();
        if (endHalfLine_) {
            piece = "\r\n";
            endHalfLine_ = false;
        }
        SideLines::Piece line;
        while (piece.size() < kPiece && lines_.Next(line)) {
            if (line.line && HasLogLineForm(line.bytes)) {
                piece += line.bytes;
            } else if (!(line.line && MoveRecordIn(line.bytes)) && setAside_) {
                setAside_(line.bytes);
            }
        }
        return !piece.empty();
    }

    const std::optional<SystemError>& error() const { return lines_.error(); }

private:
    SideLines lines_;
    bool endHalfLine_;
    SetAside setAside_;
};

} // namespace

bool HasLogLineForm(std::string_view line)
{
    if (!line.ends_with("\r\n")) {
        return false;
    }
    line.remove_suffix(2);
    const LogLineParts parts = SplitLogLine(line);
    // Only what this version writes: the locale's one-byte time separator,
    // a name without control bytes (and plain only without a quote), readings
    // with at most two decimals.
    if (parts.fault != LogLineParts::Fault::kNone || parts.timeSeparator.size() != 1
        || parts.timeSeparator[0] == ',' || IsControl(parts.timeSeparator[0]) || parts.fields.empty()
        || (!parts.quotedName && parts.name.find('"') != std::string_view::npos)
        || std::any_of(parts.name.begin(), parts.name.end(), IsControl)) {
        return false;
    }
    const std::string_view status = parts.fields.back();
    return (status == "OK" || status == "ERROR")
           && std::all_of(parts.fields.begin(), parts.fields.end() - 1,
                          [](std::string_view field) { return IsReadingField(field); });
}

std::string LogWithSideFile::NoticeText(std::size_t waiting, const std::string& sidePath)
{
    std::string text = kBusyNotice + std::to_string(waiting) + (waiting == 1 ? " line is" : " lines are")
                       + " waiting in " + sidePath;
    // The path comes from the settings and may be shown on a terminal.
    return ReplaceControlBytes(std::move(text), ControlBytes::kAll, ' ');
}

std::string LogWithSideFile::SetAsideText(std::size_t lines, const std::string& sidePath)
{
    std::string text = std::to_string(lines) + (lines == 1 ? " line" : " lines") + " in " + sidePath
                       + (lines == 1 ? " was not a log line; it was" : " were not log lines; they were")
                       + " set aside in " + sidePath + kSetAsideSuffix;
    return ReplaceControlBytes(std::move(text), ControlBytes::kAll, ' ');
}

Result<void> LogWithSideFile::Count(SideFile& side, Counted& counted)
{
    const auto size = side.Size();
    if (!size.ok()) {
        return size.error();
    }
    if (counted.scanned > *size) {
        counted = {}; // cut back by another program: counted afresh
    }
    SideLines lines(side, counted.scanned, *size);
    SideLines::Piece piece;
    while (lines.Next(piece)) {
        if (!piece.bytes.ends_with('\n')) {
            continue; // counted once it is whole
        }
        if (piece.line && HasLogLineForm(piece.bytes)) {
            ++counted.lines;
        } else if (const auto from = piece.line ? MoveRecordIn(piece.bytes) : std::nullopt) {
            counted.moveFrom = from;
        } else {
            ++counted.others;
        }
        counted.scanned = piece.end;
    }
    if (lines.error()) {
        return *lines.error();
    }
    return {};
}

// The move of the waiting lines into the log, once it can be written.
class LogWithSideFile::Move final : public LogMove {
public:
    Move(LogWithSideFile& owner, SideFile& side) : owner_(owner), side_(side) {}

    void Begin(LogAppendFile* log, std::uint64_t size) override
    {
        const std::uint64_t end = owner_.failures_.Check(side_.Size(), "cannot examine");
        if (log == nullptr) {
            Start(end, false, 0); // a device or a pipe: nothing to record or read back
            return;
        }
        const auto recorded = owner_.counted_.moveFrom;
        std::uint64_t skip = 0;
        if (recorded && *recorded <= size && AlreadyIn(*log, *recorded, size, end, skip)) {
            // A move cut short: finished from where it stopped.
            Start(end, EndsInHalfLine(*log, *recorded), skip);
            return;
        }
        std::uint64_t from = size;
        if (!recorded) {
            from -= LegacyLinesAtEnd(*log, size, end);
        }
        // Recorded, flushed, before the log gets a byte of the move.
        owner_.failures_.Check(side_.Append(std::string(kMoveRecord) + std::to_string(from) + "\r\n"),
                               "cannot write to");
        owner_.counted_.moveFrom = from;
        Start(end, EndsInHalfLine(*log, from), size - from);
    }

    bool Next(std::string& piece) override
    {
        for (;;) {
            const bool more = bytes_->Next(piece);
            if (bytes_->error()) {
                owner_.failures_.Fail(*bytes_->error(), "cannot read");
            }
            if (!more || skip_ < piece.size()) {
                piece.erase(0, static_cast<std::size_t>(skip_));
                skip_ = 0;
                return more;
            }
            skip_ -= piece.size();
        }
    }

    // Brings what was set aside to stable storage; gives how many lines.
    std::size_t Finish()
    {
        if (setAsideOpen_) {
            if (!setAsideEndsLine_) {
                SetAside("\r\n"); // ends a half line, counted already
            }
            owner_.failures_.Check(setAside_.Flush(), "cannot write to");
            (void)setAside_.Close();
        }
        return setAsideLines_;
    }

private:
    void Start(std::uint64_t end, bool endHalfLine, std::uint64_t skip)
    {
        skip_ = skip;
        bytes_.emplace(side_, end, endHalfLine, [this](std::string_view junk) { SetAside(junk); });
    }

    void SetAside(std::string_view bytes)
    {
        const std::string path = owner_.sidePath_ + kSetAsideSuffix;
        const auto fail = [&path](const SystemError& error) {
            throw RuntimeError(error.kind, "cannot set aside lines in '" + path + "': " + error.reason);
        };
        if (!setAsideOpen_) {
            ValueOrFail(setAside_.Open(path, true), fail);
            setAsideOpen_ = true;
        }
        ValueOrFail(setAside_.Append(bytes, false), fail);
        if (setAsideEndsLine_) {
            ++setAsideLines_; // a line starts (a long one comes in pieces)
        }
        setAsideEndsLine_ = bytes.ends_with('\n');
    }

    // Whether the log from `from` to `size` holds exactly the start of what
    // the move writes (all of it, and perhaps more after it); `skip` is then
    // how much of it is in.
    bool AlreadyIn(LogAppendFile& log, std::uint64_t from, std::uint64_t size, std::uint64_t end,
                   std::uint64_t& skip)
    {
        MovedBytes bytes(side_, end, EndsInHalfLine(log, from));
        std::uint64_t at = from;
        std::string piece;
        while (at < size && bytes.Next(piece)) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - at));
            const auto got = log.ReadAt(at, count);
            if (!got.ok() || *got != std::string_view(piece).substr(0, count)) {
                return false;
            }
            at += count;
        }
        if (bytes.error()) {
            owner_.failures_.Fail(*bytes.error(), "cannot read");
        }
        skip = at - from;
        return true;
    }

    // How many bytes at the log's end are the first whole waiting lines,
    // left there by a move of an earlier version, which kept no record.
    std::uint64_t LegacyLinesAtEnd(LogAppendFile& log, std::uint64_t size, std::uint64_t end)
    {
        if (EndsInHalfLine(log, size)) {
            return 0;
        }
        MovedBytes bytes(side_, end, false);
        std::string waiting;
        for (std::string piece; waiting.size() < kLegacyTail && bytes.Next(piece);) {
            waiting += piece;
        }
        waiting.resize(std::min(waiting.size(), kLegacyTail));
        const std::uint64_t tailFrom = size > waiting.size() ? size - waiting.size() : 0;
        const auto tail = log.ReadAt(tailFrom, static_cast<std::size_t>(size - tailFrom));
        if (!tail.ok()) {
            return 0;
        }
        const std::size_t already = LinesAlreadyAtEnd(*tail, waiting);
        return already > 0 && !EndsInHalfLine(log, size - already) ? already : 0;
    }

    LogWithSideFile& owner_;
    SideFile& side_;
    std::optional<MovedBytes> bytes_;
    std::uint64_t skip_ = 0;
    SideFile setAside_;
    bool setAsideOpen_ = false;
    bool setAsideEndsLine_ = true;
    std::size_t setAsideLines_ = 0;
};

LogWithSideFile::LogWithSideFile(std::string path, LogFile::WaitStep waitStep, Notice notice)
    : log_(path, std::move(waitStep)), sidePath_(std::move(path) + kSideFileSuffix),
      failures_("side file", sidePath_), notice_(std::move(notice))
{
}

void LogWithSideFile::Tell(const std::string& text)
{
    if (text == told_) {
        return;
    }
    told_ = text;
    if (notice_) {
        notice_(told_);
    }
}

void LogWithSideFile::Append(std::string_view line)
{
    for (int look = 0; look < kLooks; ++look) {
        if (PathExists(sidePath_)) {
            // Lines wait: this one joins them, and they all go in together.
            if (ThroughSideFile(line, false) == Through::kDone) {
                return;
            }
        } else {
            if (log_.TryAppend(line) == LogFile::AppendOutcome::kWritten) {
                if (told_.starts_with(kBusyNotice)) {
                    Tell(""); // what was set aside stays told
                }
                return;
            }
            if (ThroughSideFile(line, true) == Through::kDone) {
                return;
            }
        }
    }
    failures_.Fail({error_kind::kFileError, "other loggers keep removing it"}, "cannot use");
}

bool LogWithSideFile::OpenAndLock(SideFile& side, bool create)
{
    // Another logger holds the side file only while it adds or moves lines.
    Result<bool> open = false;
    log_.TryWithin(LogFile::kWaitSteps, [&] {
        (void)side.Close();
        open = side.Open(sidePath_, create);
        return open.ok() || !open.error().busy;
    });
    if (!failures_.Check(std::move(open), "cannot open")) {
        return false;
    }
    if (!log_.TryWithin(LogFile::kWaitSteps,
                        [&] { return failures_.Check(side.TryLock(), "cannot lock"); })) {
        failures_.Fail({error_kind::kPermissionDenied, "another program has held it for 2 s"}, "cannot lock");
    }
    return true;
}

LogWithSideFile::Through LogWithSideFile::ThroughSideFile(std::string_view line, bool create)
{
    SideFile side;
    if (!OpenAndLock(side, create)) {
        return Through::kSideFileGone;
    }
    if (!failures_.Check(side.StillAtPath(), "cannot examine")) {
        return Through::kSideFileGone; // moved into the log by another logger meanwhile
    }
    // A file made after another logger removed this one may get its number
    // again; its first line (a time stamp) tells them apart.
    std::string identity = failures_.Check(side.Identity(), "cannot examine");
    identity += "/" + failures_.Check(side.ReadAt(0, kHead), "cannot examine");
    if (identity != identity_) {
        identity_ = identity;
        counted_ = {};
    }
    // Only what came since the last poll is read.
    failures_.Check(Count(side, counted_), "cannot read");

    // A half line at the end (a power cut during its write) is ended first,
    // so this line stays whole; the half line is set aside by the move.
    const std::uint64_t size = failures_.Check(side.Size(), "cannot read");
    const std::string last =
        size > 0 ? failures_.Check(side.ReadAt(size - 1, 1), "cannot read") : std::string();
    std::string bytes = last.empty() || last == "\n" ? std::string() : std::string("\r\n");
    bytes += line;
    failures_.Check(side.Append(bytes), "cannot write to");
    failures_.Check(Count(side, counted_), "cannot read");

    Move move(*this, side);
    if (log_.TryMove(move, kRetrySteps) == LogFile::AppendOutcome::kBusy) {
        Tell(NoticeText(counted_.lines, sidePath_));
        return Through::kDone;
    }
    const std::size_t setAside = move.Finish();
    failures_.Check(side.Remove(), "cannot remove");
    (void)side.Close();
    identity_.clear();
    counted_ = {};
    Tell(setAside > 0 ? SetAsideText(setAside, sidePath_) : std::string());
    return Through::kDone;
}

} // namespace vornix7
