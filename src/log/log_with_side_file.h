#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "log/line_sink.h"
#include "log/log_file.h"
#include "platform/locked_file.h"

namespace vornix7 {

class SideFile;

// The log file, with a side file for the lines that cannot go into it while
// another program holds it (a spreadsheet that opened it, a program that
// keeps its lock). A busy log is not an error: the line goes, flushed, into
// the side file, the log's name with ".waiting" added, in the same folder.
// While lines wait each poll tries the log once, without waiting. Once the
// log can be written again, the next line joins the waiting ones and all of
// them go into the log under one hold of its lock, oldest first, each whole
// and unchanged, read and written in pieces; only then is the side file
// removed. So every line is on disk, in the log or in the side file, before
// Append returns, and no line is lost when the program ends, crashes or
// loses power while lines wait: the next start moves them in with its
// first line. A poll while lines wait reads only what was added to the side
// file since the last one, so it costs the same however many lines wait.
//
// Never a line twice, never a half line: before the move writes anything,
// the side file records, flushed, the log's size where the move begins. A
// move cut short (SIGKILL, a power cut) is found by that record at the next
// attempt and, when the log after that point holds exactly the start of
// what the move writes, finished from where it stopped; otherwise (the log
// changed meanwhile) it is done afresh, nothing being cut. A half line at
// the side file's end (a power cut during its write) or the log's end
// (another writer that crashed) gets its line end before the next line.
//
// Only lines of the log's own form move: anything else in the side file
// (binary bytes, other text, a half line) is set aside, flushed, in the
// side file's name with ".set-aside" added, before the side file goes; the
// notice names it. Two loggers on one log share its side file under its
// lock, so each keeps its own lines and the other's.
//
// Only a plain file of the program's own user is used as the side file
// (platform/locked_file.h): a link, a folder, a FIFO or anything else at its
// name is never followed, read or written, and is a run-time error. So is
// everything else really wrong with the log or the side file (a missing
// folder, no permission, a full disk), as LogFile throws it, and a side
// file that another program holds for the whole wait.
class LogWithSideFile final : public LineSink {
public:
    // Told the notice to show the user: what waits, what was set aside, or
    // empty text once nothing waits any more.
    using Notice = std::function<void(const std::string& text)>;

    static constexpr const char* kSideFileSuffix = ".waiting";
    static constexpr const char* kSetAsideSuffix = ".set-aside"; // after kSideFileSuffix
    // The start of the notice while lines wait.
    static constexpr const char* kBusyNotice = "The log file is in use by another program; ";
    // While lines wait, each line tries the log this many steps only (none:
    // one try), so a long busy spell does not slow the polls down.
    static constexpr int kRetrySteps = 0;

    explicit LogWithSideFile(std::string path, LogFile::WaitStep waitStep = nullptr, Notice notice = nullptr);

    void Append(std::string_view line) override;

    // "The log file is in use by another program; N lines are waiting in
    // SIDE", with control bytes as blanks.
    static std::string NoticeText(std::size_t waiting, const std::string& sidePath);
    // "N lines in SIDE were not log lines; they were set aside in SET".
    static std::string SetAsideText(std::size_t lines, const std::string& sidePath);

    // What a side file holds: lines of the log's form that wait, and lines
    // of any other kind (set aside by the next move).
    struct Counted {
        std::uint64_t scanned = 0; // bytes up to the last line end looked at
        std::size_t lines = 0;
        std::size_t others = 0;
        std::optional<std::uint64_t> moveFrom; // where a move began, recorded
    };
    // Counts from `counted.scanned` to the last line end, reading in pieces.
    static Result<void> Count(SideFile& side, Counted& counted);

private:
    class Move;
    enum class Through { kDone, kSideFileGone };
    Through ThroughSideFile(std::string_view line, bool create);
    // False when there is no side file and `create` is false.
    bool OpenAndLock(SideFile& side, bool create);
    void Tell(const std::string& text);

    LogFile log_;
    std::string sidePath_;
    FileFailures failures_; // the side file's
    Notice notice_;
    std::string told_;
    // The side file as the last poll left it, so a poll reads only what came
    // since; `identity` empty: nothing known.
    std::string identity_;
    Counted counted_;
};

// Whether `line` (with its line end) has the form of a log line: time stamp,
// device name (plain or quoted as CSV), readings, OK or ERROR, CR LF.
bool HasLogLineForm(std::string_view line);

} // namespace vornix7
