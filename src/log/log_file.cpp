#include "log/log_file.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <system_error>
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
    // Shared with the flush's thread, which may outlive this call when a
    // wait step throws: the file is closed by whichever lets go last.
    const auto file = std::make_shared<LogAppendFile>();
    if (auto error = file->Open(path_)) {
        Fail(*error, "cannot open");
    }
    Lock(*file);
    if (file->onDisk()) {
        WriteToDisk(*file, line);
        FlushInTheBackground(file);
    } else {
        WriteToStream(*file, line);
    }
    if (auto error = file->Close()) {
        Fail(*error, "cannot close");
    }
}

void LogFile::Fail(const AppendError& error, const char* what) const
{
    throw RuntimeError(error.kind, std::string(what) + " log file '" + path_ + "': " + error.reason);
}

void LogFile::Lock(LogAppendFile& file)
{
    // Another logger holds the lock only for one line, so a lock that does
    // not come in kWaitSteps is held by something that will not let go.
    bool taken = false;
    for (int step = 0;; ++step) {
        if (auto error = file.TryLock(taken)) {
            Fail(*error, "cannot lock");
        }
        if (taken) {
            return;
        }
        if (step == kWaitSteps) {
            Fail({error_kind::kPermissionDenied, "another program has held its lock for 10 s"},
                 "cannot lock");
        }
        waitStep_();
    }
}

void LogFile::WriteToDisk(LogAppendFile& file, std::string_view line)
{
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
        Fail(*error, "cannot write to");
    }
}

void LogFile::FlushInTheBackground(const std::shared_ptr<LogAppendFile>& file)
{
    // A slow disk (a USB stick, a network share) may take seconds to reach
    // stable storage; the flush runs on a thread of its own while the wait
    // steps keep the window alive, so Exit ends the program at once (the
    // line is then in the system's hands, only not yet on the platter).
    // The line counts as written only once the flush has returned, and has
    // no time limit: a disk that never answers leaves the program waiting
    // with Exit working, as the system's own flush would.
    std::promise<AppendStatus> done;
    std::future<AppendStatus> result = done.get_future();
    try {
        std::thread([file, done = std::move(done)]() mutable { done.set_value(file->Flush()); }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: flush here rather than not at all.
        if (auto error = file->Flush()) {
            Fail(*error, "cannot flush");
        }
        return;
    }
    // Most flushes end within one step; only a slow one runs the steps.
    auto wait = std::chrono::milliseconds(kStepMilliseconds);
    while (result.wait_for(wait) != std::future_status::ready) {
        waitStep_();
        wait = std::chrono::milliseconds(0);
    }
    if (auto error = result.get()) {
        Fail(*error, "cannot flush");
    }
}

void LogFile::WriteToStream(LogAppendFile& file, std::string_view line)
{
    // A pipe may take a long line in parts, and none while it is full. A
    // line up to the pipe's atomic size (4096 bytes on Linux) goes in one
    // write or not at all; a longer one in parts, under the lock that other
    // loggers on the same FIFO honour, so their lines never break into it.
    for (int idle = 0; !line.empty();) {
        std::size_t written = 0;
        if (auto error = file.Write(line, written)) {
            Fail(*error, "cannot write to");
        }
        if (written > 0) {
            line.remove_prefix(written);
            idle = 0;
        } else if (++idle > kWaitSteps) {
            Fail({error_kind::kFileError, "nothing has read from it for 10 s"}, "cannot write to");
        } else {
            waitStep_();
        }
    }
}

} // namespace vornix7
