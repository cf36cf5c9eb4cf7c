#include "log/log_with_side_file.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "common/runtime_error.h"
#include "platform/path_access.h"
#include "platform/side_file.h"

namespace vornix7 {

namespace {

void SleepOneStep()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(LogFile::kStepMilliseconds));
}

// A side file removed by another logger just as this one looked: looked at
// again, a few times at most.
constexpr int kLooks = 4;

} // namespace

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

std::string LogWithSideFile::NoticeText(std::size_t waiting, const std::string& sidePath)
{
    std::string text = "The log file is in use by another program; " + std::to_string(waiting)
                       + (waiting == 1 ? " line is" : " lines are") + " waiting in " + sidePath;
    // The path comes from the settings and may be shown on a terminal.
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return text;
}

LogWithSideFile::LogWithSideFile(std::string path, LogFile::WaitStep waitStep, Notice notice)
    : log_(path, waitStep), sidePath_(std::move(path) + kSideFileSuffix),
      waitStep_(waitStep ? std::move(waitStep) : LogFile::WaitStep(SleepOneStep)), notice_(std::move(notice))
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

void LogWithSideFile::Fail(const AppendError& error, const char* what) const
{
    throw RuntimeError(error.kind, std::string(what) + " side file '" + sidePath_ + "': " + error.reason);
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
                Tell("");
                return;
            }
            if (ThroughSideFile(line, true) == Through::kDone) {
                return;
            }
        }
    }
    Fail({error_kind::kFileError, "other loggers keep removing it"}, "cannot use");
}

void LogWithSideFile::OpenAndLock(SideFile& side, bool create, bool& missing)
{
    // Another logger holds the side file only while it adds or moves lines.
    for (int step = 0;; ++step) {
        auto error = side.Open(sidePath_, create, missing);
        if (!error) {
            break;
        }
        if (!error->busy || step >= LogFile::kWaitSteps) {
            Fail(*error, "cannot open");
        }
        (void)side.Close();
        waitStep_();
    }
    if (missing) {
        return;
    }
    for (int step = 0;; ++step) {
        bool taken = false;
        if (auto error = side.TryLock(taken)) {
            Fail(*error, "cannot lock");
        }
        if (taken) {
            return;
        }
        if (step >= LogFile::kWaitSteps) {
            Fail({error_kind::kPermissionDenied, "another program has held it for 2 s"}, "cannot lock");
        }
        waitStep_();
    }
}

LogWithSideFile::Through LogWithSideFile::ThroughSideFile(std::string_view line, bool create)
{
    SideFile side;
    bool missing = false;
    OpenAndLock(side, create, missing);
    bool same = false;
    if (missing) {
        return Through::kSideFileGone;
    }
    if (auto error = side.StillAtPath(same)) {
        Fail(*error, "cannot examine");
    }
    if (!same) {
        return Through::kSideFileGone; // moved into the log by another logger meanwhile
    }

    std::string waiting;
    if (auto error = side.ReadAll(waiting)) {
        Fail(*error, "cannot read");
    }
    if (const std::size_t whole = waiting.find_last_of('\n') + 1; whole != waiting.size()) {
        // A half line left by a power cut during its write.
        if (auto error = side.CutTo(whole)) {
            Fail(*error, "cannot cut back");
        }
        waiting.resize(whole);
    }
    if (auto error = side.Append(line)) {
        Fail(*error, "cannot write to");
    }
    waiting += line;

    // The log's tail, read before the move: if it cannot be read now the
    // log is still busy, and without it lines could go in twice.
    std::string tail;
    if (auto error = ReadFileTail(log_.path(), waiting.size(), tail)) {
        if (error->busy) {
            Tell(NoticeText(std::count(waiting.begin(), waiting.end(), '\n'), sidePath_));
            return Through::kDone;
        }
        tail.clear(); // the log's own append reports what is wrong
    }
    const std::string_view toMove = std::string_view(waiting).substr(LinesAlreadyAtEnd(tail, waiting));
    if (!toMove.empty() && log_.TryAppend(toMove, kRetrySteps) == LogFile::AppendOutcome::kBusy) {
        Tell(NoticeText(std::count(waiting.begin(), waiting.end(), '\n'), sidePath_));
        return Through::kDone;
    }
    if (auto error = side.Remove()) {
        Fail(*error, "cannot remove");
    }
    (void)side.Close();
    Tell("");
    return Through::kDone;
}

} // namespace vornix7
