#include "log/log_file.h"

#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>

#include "common/runtime_error.h"
#include "platform/log_append.h"

namespace vornix7 {

namespace {

void SleepOneStep()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(LogFile::kStepMilliseconds));
}

} // namespace

LogFile::LogFile(std::string path, WaitStep waitStep)
    : path_(std::move(path)), waitStep_(waitStep ? std::move(waitStep) : WaitStep(SleepOneStep))
{
}

void LogFile::Append(std::string_view line)
{
    if (TryAppend(line) == AppendOutcome::kBusy) {
        Fail({error_kind::kPermissionDenied, "another program has held it for 2 s"}, "cannot write to");
    }
}

LogFile::AppendOutcome LogFile::TryAppend(std::string_view bytes, int busyWaitSteps)
{
    LogAppendFile file;
    for (int step = 0;; ++step) {
        auto error = file.Open(path_);
        if (!error) {
            break;
        }
        if (!error->busy) {
            Fail(*error, "cannot open");
        }
        if (step >= busyWaitSteps) {
            return AppendOutcome::kBusy;
        }
        waitStep_();
    }
    AppendOutcome outcome = AppendOutcome::kWritten;
    if (file.onDisk()) {
        outcome = WriteToDisk(file, bytes, busyWaitSteps);
    } else {
        WriteToStream(file, bytes);
    }
    if (auto error = file.Close()) {
        Fail(*error, "cannot close");
    }
    return outcome;
}

void LogFile::Fail(const AppendError& error, const char* what) const
{
    throw RuntimeError(error.kind, std::string(what) + " log file '" + path_ + "': " + error.reason);
}

LogFile::AppendOutcome LogFile::WriteToDisk(LogAppendFile& file, std::string_view line, int busyWaitSteps)
{
    // Another logger holds the lock only for one line, so a lock that does
    // not come in the wait is held by something that will not let go soon.
    bool taken = false;
    for (int step = 0;; ++step) {
        if (auto error = file.TryLock(taken)) {
            Fail(*error, "cannot lock");
        }
        if (taken) {
            break;
        }
        if (step >= busyWaitSteps) {
            return AppendOutcome::kBusy;
        }
        waitStep_();
    }
    std::uint64_t size = 0;
    if (auto error = file.Size(size)) {
        Fail(*error, "cannot examine");
    }
    std::size_t written = 0;
    if (auto error = file.Write(line, written)) {
        if (written > 0) {
            // Take the partial line back off so the log never holds half a
            // line; the write error is the one to report.
            (void)file.TakeBack(size, written);
        }
        if (error->busy && written == 0) {
            return AppendOutcome::kBusy; // a range of it locked by another program
        }
        Fail(*error, "cannot write to");
    }
    if (auto error = file.Flush()) {
        Fail(*error, "cannot flush");
    }
    return AppendOutcome::kWritten;
}

void LogFile::WriteToStream(LogAppendFile& file, std::string_view line)
{
    // A pipe may take a long line in parts, and none while it is full.
    for (int idle = 0; !line.empty();) {
        std::size_t written = 0;
        if (auto error = file.Write(line, written)) {
            Fail(*error, "cannot write to");
        }
        if (written > 0) {
            line.remove_prefix(written);
            idle = 0;
        } else if (++idle > kPipeWaitSteps) {
            Fail({error_kind::kFileError, "nothing has read from it for 10 s"}, "cannot write to");
        } else {
            waitStep_();
        }
    }
}

} // namespace vornix7
