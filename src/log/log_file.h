#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "common/result.h"
#include "log/line_sink.h"

namespace vornix7 {

class LogAppendFile;

// Bytes put into the log in pieces, under one hold of its lock (the move of
// lines that waited beside it).
class LogMove {
public:
    virtual ~LogMove() = default;
    // Called once the log is open and locked, before anything is written:
    // `log` is the open file on disk (nullptr for a device or a pipe, which
    // cannot be read back), `size` its size then. May throw RuntimeError.
    virtual void Begin(LogAppendFile* log, std::uint64_t size) = 0;
    // The next piece to write; false once there is none.
    virtual bool Next(std::string& piece) = 0;
};

// One file's failures, thrown as the RuntimeError that names it ("cannot
// open log file 'PATH': REASON"), of the error's kind: the log's and the
// side file's alike.
class FileFailures {
public:
    // `file` says which: "log file", "side file".
    FileFailures(std::string_view file, const std::string& path);

    [[noreturn]] void Fail(const SystemError& error, const char* what) const;
    // The value of a step that worked; Fail for one that did not.
    template <class T> T Check(Result<T> result, const char* what) const
    {
        return ValueOrFail(std::move(result), [&](const SystemError& error) { Fail(error, what); });
    }

private:
    std::string name_; // "log file 'PATH'"
};

// Whether the log's first `size` bytes end in a line without its line end
// (another writer that crashed half-way): false when that cannot be read.
bool EndsInHalfLine(LogAppendFile& log, std::uint64_t size);

// The log file. Each line is appended with one write and, on a disk, flushed
// to stable storage before Append returns, and the file is open only during
// that call, so between polls it can be read, copied, moved or deleted (a
// deleted log is created afresh, also behind a symbolic link). On a disk the
// line is appended under an exclusive lock, so two loggers on one file never
// mix their lines, and it is either whole in the file or not there at all: a
// write that fails half-way is cut back off, and only those bytes. A device
// or a pipe with a reader (/dev/null, NUL, a terminal, a socket the program
// was given as /dev/stdout) just takes the lines; on a FIFO or pipe (POSIX)
// loggers take the same lock, so a line longer than the pipe's atomic size
// is not broken into by another logger's.
// Nothing blocks the program's thread: a pipe with no reader fails at once,
// and waits for the lock, a full pipe or a slow flush (which runs on a
// thread of its own) go in short steps that run `waitStep` (which pumps
// window events, so Exit works). A log that ends in a half line (another
// writer that crashed) gets its line end before the next line, so no line
// is ever glued onto a stranger's; the stranger's bytes are never cut. Any
// failure throws RuntimeError naming its
// kind ("Path not found", "Permission denied", "Disk full", "File too
// large", ...), at once, with the system's own words for the cause; nothing
// is ever dropped silently. A log that another program holds (its lock still
// taken when the wait ends; on Windows a sharing or lock violation) is busy,
// not broken: TryAppend says so instead of throwing, so the caller can keep
// the line elsewhere.
class LogFile final : public LineSink {
public:
    using WaitStep = std::function<void()>;

    enum class AppendOutcome {
        kWritten, // whole in the log
        kBusy,    // another program holds the log; nothing of it was written
    };

    // The steps of waiting for a busy log before giving up: short, so a poll
    // never holds the tick for long (a slow flush is waited for without a
    // limit, Exit working throughout).
    static constexpr int kWaitSteps = 100;
    // The steps of waiting for a full pipe to take something.
    static constexpr int kPipeWaitSteps = 500;
    // The pause of one step when no wait step is given.
    static constexpr int kStepMilliseconds = 20;
    // The wait step used when none is given: a sleep of kStepMilliseconds.
    static void SleepOneStep();

    // An empty `waitStep` sleeps for kStepMilliseconds.
    explicit LogFile(std::string path, WaitStep waitStep = nullptr);
    ~LogFile() override;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Throws "Permission denied" for a busy log.
    void Append(std::string_view line) override;

    // Appends `bytes` (whole lines), waiting at most `busyWaitSteps` steps
    // for a busy log. Throws for everything else that goes wrong.
    AppendOutcome TryAppend(std::string_view bytes, int busyWaitSteps = kWaitSteps);

    // Appends what `move` gives, piece by piece, under one hold of the lock
    // and with one flush at the end; a failed write takes back what this
    // move wrote (only that) and throws. Busy as TryAppend.
    AppendOutcome TryMove(LogMove& move, int busyWaitSteps);

    // Asks `tryOnce` once, and again after each of at most `busyWaitSteps`
    // wait steps while it says busy (false): whether it ever said done. The
    // wait for a busy log's or side file's open and lock.
    template <class TryOnce> bool TryWithin(int busyWaitSteps, const TryOnce& tryOnce) const
    {
        for (int step = 0;; ++step) {
            if (tryOnce()) {
                return true;
            }
            if (step >= busyWaitSteps) {
                return false;
            }
            waitStep_();
        }
    }

private:
    class Flusher;

    std::shared_ptr<LogAppendFile> OpenAndLock(int busyWaitSteps);
    // Writes at the end of the log, which was `size` bytes long when opened.
    AppendOutcome WriteToDisk(LogAppendFile& file, std::uint64_t size, std::string_view bytes);
    void FlushInTheBackground(const std::shared_ptr<LogAppendFile>& file);
    void WriteToStream(LogAppendFile& file, std::string_view line);

    std::string path_;
    FileFailures failures_;
    WaitStep waitStep_;
    std::unique_ptr<Flusher> flusher_; // started with the first flush
};

} // namespace vornix7
