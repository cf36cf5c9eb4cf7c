#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "log/line_sink.h"
#include "log/log_file.h"

namespace vornix7 {

class SideFile;

// The log file, with a side file for the lines that cannot go into it while
// another program holds it (a spreadsheet that opened it, a program that
// keeps its lock). A busy log is not an error: the line goes, flushed, into
// the side file, the log's name with ".waiting" added, in the same folder.
// Once the log can be written again, the next line joins the waiting ones
// and all of them go into the log in one write, oldest first, each whole
// and unchanged; only then is the side file removed. So every line is on
// disk, in the log or in the side file, before Append returns, and no line
// is lost when the program ends, crashes or loses power while lines wait:
// the next start moves them in with its first line.
//
// Never a line twice: should the program end between the log's flush and
// the side file's removal, the waiting lines found at the log's end on the
// next attempt are not appended again. Never a half line: a side file
// whose last line was cut short (a power cut) loses that half line, as the
// log itself would. Two loggers on one log share its side file under its
// lock, so each keeps its own lines and the other's.
//
// Everything really wrong with the log or the side file (a missing folder,
// no permission, a full disk, a folder or FIFO in its place) throws
// RuntimeError as LogFile does; so does a side file that another program
// holds for the whole wait.
class LogWithSideFile final : public LineSink {
public:
    // Told the notice to show the user: what waits, or empty text once
    // nothing waits any more.
    using Notice = std::function<void(const std::string& text)>;

    static constexpr const char* kSideFileSuffix = ".waiting";
    // While lines wait, each line tries the log this many steps only, so a
    // long busy spell does not slow the polls down.
    static constexpr int kRetrySteps = 5;

    explicit LogWithSideFile(std::string path, LogFile::WaitStep waitStep = nullptr, Notice notice = nullptr);

    void Append(std::string_view line) override;

    const std::string& sidePath() const { return sidePath_; }

    // "The log file is in use by another program; N lines are waiting in
    // SIDE", with control bytes as blanks.
    static std::string NoticeText(std::size_t waiting, const std::string& sidePath);

private:
    enum class Through { kDone, kSideFileGone };
    Through ThroughSideFile(std::string_view line, bool create);
    void OpenAndLock(SideFile& side, bool create, bool& missing);
    [[noreturn]] void Fail(const AppendError& error, const char* what) const;
    void Tell(const std::string& text);

    LogFile log_;
    std::string sidePath_;
    LogFile::WaitStep waitStep_;
    Notice notice_;
    std::string told_;
};

// How many of the first bytes of `waiting` (whole lines of it) already
// stand at the end of `tail`, the log's last bytes: those a move cut short
// after the log's flush has put there.
std::size_t LinesAlreadyAtEnd(std::string_view tail, std::string_view waiting);

} // namespace vornix7
