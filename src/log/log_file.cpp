#include "log/log_file.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "common/runtime_error.h"
#include "platform/locked_file.h"

namespace vornix7 {

namespace {

// One append, as a move of one piece: a half line at the log's end is
// another writer's that crashed, so the bytes come after its line end (it
// stays).
class OneAppend final : public LogMove {
public:
    explicit OneAppend(std::string_view bytes) : bytes_(bytes) {}

    void Begin(LogAppendFile* log, std::uint64_t size) override
    {
        endHalfLine_ = log != nullptr && EndsInHalfLine(*log, size);
    }

    bool Next(std::string& piece) override
    {
        if (done_) {
            return false;
        }
        piece = endHalfLine_ ? "\r\n" : "";
        piece += bytes_;
        done_ = true;
        return true;
    }

private:
    std::string_view bytes_;
    bool endHalfLine_ = false;
    bool done_ = false;
};

} // namespace

void LogFile::SleepOneStep()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMilliseconds));
}

// The thread that brings lines to stable storage, one file at a time. It
// stays for the log's life: a thread that already runs and waits is woken
// at once, where a new one per line would queue behind a busy machine's
// other work. Going, it finishes what it was given.
class LogFile::Flusher {
public:
    Flusher() : thread_([this] { Run(); }) {}
    ~Flusher()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;

    // Flushes `file` on the thread; the result is there once it returned.
    std::future<Result<void>> Start(std::shared_ptr<LogAppendFile> file)
    {
        Job job{std::move(file), {}};
        std::future<Result<void>> result = job.done.get_future();
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
        return result;
    }

private:
    struct Job {
        std::shared_ptr<LogAppendFile> file; // kept open until flushed
        std::promise<Result<void>> done;
    };

    void Run()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) {
                    return;
                }
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job.done.set_value(job.file->Flush());
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the rest is there
};

LogFile::LogFile(std::string path, WaitStep waitStep)
    : path_(std::move(path)), failures_("log file", path_),
      waitStep_(waitStep ? std::move(waitStep) : WaitStep(SleepOneStep))
{
}

LogFile::~LogFile() = default;

void LogFile::Append(std::string_view line)
{
    if (TryAppend(line) == AppendOutcome::kBusy) {
        failures_.Fail({error_kind::kPermissionDenied, "another program has held it for 2 s"},
                       "cannot write to");
    }
}

std::shared_ptr<LogAppendFile> LogFile::OpenAndLock(int busyWaitSteps)
{
    // Shared with the flush's thread, which may outlive the append when a
    // wait step throws: the file is closed by whichever lets go last.
    std::shared_ptr<LogAppendFile> file;
    Result<void> open;
    TryWithin(busyWaitSteps, [&] {
        file = std::make_shared<LogAppendFile>();
        open = file->Open(path_);
        return open.ok() || !open.error().busy;
    });
    if (!open.ok() && open.error().busy) {
        return nullptr;
    }
    failures_.Check(std::move(open), "cannot open");
    // Another logger holds the lock only for one line, so a lock that does
    // not come in the wait is held by another program: the log is busy.
    if (!TryWithin(busyWaitSteps, [&] { return failures_.Check(file->TryLock(), "cannot lock"); })) {
        return nullptr;
    }
    return file;
}

LogFile::AppendOutcome LogFile::TryAppend(std::string_view bytes, int busyWaitSteps)
{
    OneAppend append(bytes);
    return TryMove(append, busyWaitSteps);
}

LogFile::AppendOutcome LogFile::TryMove(LogMove& move, int busyWaitSteps)
{
    const auto file = OpenAndLock(busyWaitSteps);
    if (!file) {
        return AppendOutcome::kBusy;
    }
    std::string piece;
    if (!file->onDisk()) {
        move.Begin(nullptr, 0);
        while (move.Next(piece)) {
            WriteToStream(*file, piece);
        }
    } else {
        const std::uint64_t size = failures_.Check(file->Size(), "cannot examine");
        move.Begin(file.get(), size);
        while (move.Next(piece)) {
            if (WriteToDisk(*file, size, piece) == AppendOutcome::kBusy) {
                return AppendOutcome::kBusy;
            }
        }
        // The lock guards the measure, write and take-back; another logger
        // need not wait for this flush.
        failures_.Check(file->Unlock(), "cannot unlock");
        FlushInTheBackground(file);
    }
    failures_.Check(file->Close(), "cannot close");
    return AppendOutcome::kWritten;
}

bool EndsInHalfLine(LogAppendFile& log, std::uint64_t size)
{
    if (size == 0) {
        return false;
    }
    const auto last = log.ReadAt(size - 1, 1);
    return last.ok() && last->size() == 1 && (*last)[0] != '\n';
}

FileFailures::FileFailures(std::string_view file, const std::string& path)
    : name_(std::string(file) + " '" + path + "'")
{
}

void FileFailures::Fail(const SystemError& error, const char* what) const
{
    throw RuntimeError(error.kind, std::string(what) + " " + name_ + ": " + error.reason);
}

LogFile::AppendOutcome LogFile::WriteToDisk(LogAppendFile& file, std::uint64_t size, std::string_view bytes)
{
    const auto wrote = file.Write(bytes);
    if (wrote.ok()) {
        return AppendOutcome::kWritten;
    }
    // Take what this open wrote back off (only that, and only while nothing
    // else was added after it), so the log never holds half a line; the
    // write error is the one to report.
    if (file.written() > 0) {
        (void)file.TakeBack(size, file.written());
    } else if (wrote.error().busy) {
        return AppendOutcome::kBusy; // a range of it locked by another program
    }
    failures_.Fail(wrote.error(), "cannot write to");
}

void LogFile::FlushInTheBackground(const std::shared_ptr<LogAppendFile>& file)
{
    // A slow disk (a USB stick, a network share) may take seconds to reach
    // stable storage; the flush runs on the log's own thread while the wait
    // steps keep the window alive, so Exit ends the program at once (the
    // line is then in the system's hands, only not yet on the platter).
    // The line counts as written only once the flush has returned, and has
    // no time limit: a disk that never answers leaves the program waiting
    // with Exit working, as the system's own flush would.
    std::future<Result<void>> result;
    try {
        if (!flusher_) {
            flusher_ = std::make_unique<Flusher>();
        }
        result = flusher_->Start(file);
    } catch (const std::system_error&) {
        // No thread to be had: flush here rather than not at all.
        failures_.Check(file->Flush(), "cannot flush");
        return;
    }
    // Most flushes end within one step; only a slow one runs the steps.
    auto wait = std::chrono::milliseconds(kStepMilliseconds);
    while (result.wait_for(wait) != std::future_status::ready) {
        waitStep_();
        wait = std::chrono::milliseconds(0);
    }
    failures_.Check(result.get(), "cannot flush");
}

void LogFile::WriteToStream(LogAppendFile& file, std::string_view line)
{
    // A pipe may take a long line in parts, and none while it is full. A
    // line up to the pipe's atomic size (4096 bytes on Linux) goes in one
    // write or not at all; a longer one in parts, under the lock that other
    // loggers on the same FIFO honour, so their lines never break into it.
    for (int idle = 0; !line.empty();) {
        const std::size_t written = failures_.Check(file.Write(line), "cannot write to");
        if (written > 0) {
            line.remove_prefix(written);
            idle = 0;
        } else if (++idle > kPipeWaitSteps) {
            failures_.Fail({error_kind::kFileError, "nothing has read from it for 10 s"}, "cannot write to");
        } else {
            waitStep_();
        }
    }
}

} // namespace vornix7
