// What happens to the log between polls, behind the program's back: moved,
// deleted, its folder taken away, made unwritable, its disk filled, a second
// writer on it; and logs that are not files on disk. A line once written is
// never lost, a line that cannot be written ends the program with a message
// instead of vanishing, and nothing the log is can freeze the program. A
// log that another program holds is busy, not broken: its lines wait.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "log_lines.h"
#include "logger_process.h"
#include "settings_file.h"
#include "sim_process.h"
#include "writer_line.h"

namespace vornix7::e2e {
namespace {

// A name that makes the line 66 bytes long, so lines do not tile a 4 kB page.
const std::string kOk = OkLine("Lab North 7", {"21.5", "48.", "-3.25", "1.", "2.", "3.", "4.", "5."});

class HostileLog : public testing::Test {
protected:
    void StartLogger(const std::string& logfileName)
    {
        logger_ =
            std::make_unique<LoggerProcess>(SettingsText({.url = device_.url(), .logfileName = logfileName}));
    }

    ScratchDir deviceDir_;
    SimProcess device_{deviceDir_.path(), {"--name", "Lab North 7", "--values", "21.5,48,-3.25,1,2,3,4,5"}};
    std::unique_ptr<LoggerProcess> logger_;
};

// Expects the program to have ended on a log it cannot write: status 1 and
// one message of `kind` naming the log.
void ExpectLogError(LoggerProcess& logger, const std::string& kind, const std::string& path)
{
    ASSERT_EQ(logger.WaitForExit(Scaled(Millis(5000))), ExitStatus::Code(1)) << logger.Stderr();
    const auto errors = logger.RuntimeErrors();
    ASSERT_EQ(errors.size(), 1U) << logger.Stderr();
    EXPECT_TRUE(errors[0].starts_with(ProgramName() + ": run-time error: " + kind + ": ")) << errors[0];
    EXPECT_NE(errors[0].find(path), std::string::npos) << errors[0];
}

TEST_F(HostileLog, ALogRenamedOrDeletedBetweenPollsIsCreatedAfreshAndTheRenamedOneKeepsItsLines)
{
    StartLogger(kLogName);
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    std::filesystem::rename(logger_->Path(kLogName), logger_->Path("kept.txt"));
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    std::filesystem::remove(logger_->Path(kLogName));
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    ASSERT_EQ(logger_->Stop(), ExitStatus::Code(0));

    EXPECT_EQ(logger_->Lines("kept.txt"), std::vector<std::string>{kOk});
    EXPECT_EQ(logger_->Lines(), std::vector<std::string>{kOk});
    EXPECT_EQ(device_.Requests(), 3);
}

TEST_F(HostileLog, ALogFolderTakenAwayEndsTheProgramAndTheLinesWrittenStayWhole)
{
    StartLogger("logs/log.txt");
    std::filesystem::create_directory(logger_->Path("logs"));
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)), "logs/log.txt")) << logger_->Stderr();
    // Moved rather than deleted, so the lines written can be checked after.
    std::filesystem::rename(logger_->Path("logs"), logger_->Path("logs-kept"));

    ExpectLogError(*logger_, "Path not found", "logs/log.txt");
    EXPECT_EQ(logger_->Lines("logs-kept/log.txt"), std::vector<std::string>{kOk});
    EXPECT_FALSE(FileExists(logger_->Path("logs")));
}

// The lines that arrive on the FIFO open for reading as `fd` within
// `timeout`, up to `count`, read the way a program that collects the log would.
std::vector<std::string> ReadLinesFromFifo(int fd, std::size_t count, Millis timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    std::string text;
    while (WholeLineCount(text) < count && std::chrono::steady_clock::now() < end) {
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else {
            std::this_thread::sleep_for(Millis(20)); // empty, or no writer between polls
        }
    }
    return MaskTimes(SplitLines(text));
}

TEST_F(HostileLog, ADeviceOrAPipeWithAReaderTakesEveryLineAndTheProgramGoesOn)
{
    for (const std::string target : {"/dev/null", "pipe"}) {
        SCOPED_TRACE(target);
        StartLogger(target);
        int reader = -1;
        if (target == "pipe") {
            ASSERT_EQ(::mkfifo(logger_->Path(target).c_str(), 0600), 0) << std::strerror(errno);
            reader = ::open(logger_->Path(target).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_GE(reader, 0) << std::strerror(errno);
        }
        const int requestsBefore = device_.Requests();
        logger_->Start();
        if (reader >= 0) {
            EXPECT_EQ(ReadLinesFromFifo(reader, 2, Scaled(Millis(5000))),
                      (std::vector<std::string>{kOk, kOk}));
            ::close(reader);
        } else {
            device_.WaitForRequests(requestsBefore + 2, Scaled(Millis(5000)));
            std::this_thread::sleep_for(Millis(200)); // the second line's write
        }
        EXPECT_EQ(logger_->Stop(), ExitStatus::Code(0)) << logger_->Stderr();
        EXPECT_TRUE(logger_->RuntimeErrors().empty()) << logger_->Stderr();
        EXPECT_GE(device_.Requests(), requestsBefore + 2);
    }
}

TEST_F(HostileLog, SigtermEndsTheProgramPromptlyWhileALineWaitsForTheLogsLock)
{
    StartLogger(kLogName);
    WriteFile(logger_->Path(kLogName), "");
    const int holder = ::open(logger_->Path(kLogName).c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0) << std::strerror(errno);
    logger_->Start();
    ASSERT_TRUE(logger_->WaitUntilSignalsHandled());
    device_.WaitForRequests(1, Scaled(Millis(5000)));
    std::this_thread::sleep_for(Millis(300)); // now waiting for the lock

    EXPECT_EQ(logger_->Stop(SIGTERM, Scaled(Millis(1000))), ExitStatus::Code(0)) << logger_->Stderr();
    EXPECT_EQ(logger_->Read(), "");
    ::close(holder);
}

// A disk whose flush to stable storage takes 5 s (fdatasync delayed through
// LD_PRELOAD): the line is in the log at once, and SIGTERM during the flush
// ends the program at once, not when the flush returns.
TEST_F(HostileLog, SigtermEndsTheProgramPromptlyWhileALineIsFlushedToASlowDisk)
{
    StartLogger(kLogName);
    const char* asan = std::getenv("ASAN_OPTIONS");
    logger_->Start({.args = {},
                    .noDisplay = false,
                    .env = {{"LD_PRELOAD", VORNIX7_SLOW_FLUSH_LIBRARY},
                            {"VORNIX7_TEST_FLUSH_DELAY_MS", "5000"},
                            // The preloaded library comes before the sanitizer's runtime.
                            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}}});
    ASSERT_TRUE(logger_->WaitUntilSignalsHandled());
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    std::this_thread::sleep_for(Millis(300)); // well inside the flush

    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(logger_->Stop(SIGTERM, Scaled(Millis(1000))), ExitStatus::Code(0)) << logger_->Stderr();
    EXPECT_LT(std::chrono::steady_clock::now() - sent, Scaled(Millis(1000)));
    EXPECT_EQ(logger_->Lines(), std::vector<std::string>{kOk});
}

// Another program holds the log's lock for 15 s while the logger polls every
// second: no poll is lost and the program goes on. Each poll's line waits,
// flushed, in the side file and goes into the log once it is free, so the
// log ends up with one line per request the device saw, each once, in
// order, and the side file is gone. With the logger killed (SIGKILL) during
// the spell and started again, the lines the first one left waiting go in
// before the second one's own.
struct BusySpell {
    const char* name;
    bool killAndRestart;
};

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(HostileLog, ALogHeldByAnotherProgramLosesNoPollAndGetsEveryLineOnceInOrder)
{
    const BusySpell spells[] = {
        {"the logger runs through the spell", false},
        {"the logger is killed during the spell and started again", true},
    };
    const std::string side = std::string(kLogName) + ".waiting";
    for (const BusySpell& spell : spells) {
        SCOPED_TRACE(spell.name);
        StartLogger(kLogName);
        const int requestsBefore = device_.Requests();
        logger_->Start();
        ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();

        const int holder = ::open(logger_->Path(kLogName).c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0) << std::strerror(errno);
        using Clock = std::chrono::steady_clock;
        const auto heldAt = Clock::now();
        // When each request came, sampled every 20 ms, for the longest gap.
        std::vector<Clock::time_point> requestTimes;
        int requests = device_.Requests();
        bool killed = false;
        std::size_t waiting = 0;
        while (Clock::now() < heldAt + std::chrono::seconds(15)) {
            std::this_thread::sleep_for(Millis(20));
            if (const int now = device_.Requests(); now != requests) {
                requests = now;
                requestTimes.push_back(Clock::now());
            }
            const std::size_t nowWaiting = WholeLineCount(logger_->Read(side));
            if (spell.killAndRestart && !killed && nowWaiting > waiting
                && Clock::now() > heldAt + Millis(6000)) {
                // Right after a line reached the side file, a second before
                // the next poll: no request goes without its line.
                logger_->process().Signal(SIGKILL);
                ASSERT_TRUE(logger_->WaitForExit(Scaled(Millis(3000))));
                EXPECT_GE(WholeLineCount(logger_->Read(side)), 3U);
                logger_->Start();
                killed = true;
            }
            waiting = nowWaiting;
        }
        EXPECT_EQ(logger_->Lines().size(), 1U) << "written while the log was held";
        ::close(holder);

        // Stopped between polls, once two have come after the release and
        // the log holds as many lines as the device saw requests.
        const int requestsAtRelease = device_.Requests();
        const auto settled = [&] {
            const int seen = device_.Requests();
            return !FileExists(logger_->Path(side)) && seen >= requestsAtRelease + 2
                   && static_cast<int>(WholeLineCount(logger_->Read())) >= seen - requestsBefore;
        };
        const auto end = Clock::now() + Scaled(Millis(10000));
        while (!settled() && Clock::now() < end) {
            std::this_thread::sleep_for(Millis(20));
        }
        ASSERT_EQ(logger_->Stop(), ExitStatus::Code(0)) << logger_->Stderr();
        EXPECT_TRUE(logger_->RuntimeErrors().empty()) << logger_->Stderr();

        EXPECT_FALSE(FileExists(logger_->Path(side)));
        const auto lines = SplitLines(logger_->Read());
        const int polls = device_.Requests() - requestsBefore;
        EXPECT_EQ(static_cast<int>(lines.size()), polls) << "lines lost or doubled";
        std::optional<std::time_t> previous;
        for (const auto& line : lines) {
            EXPECT_EQ(MaskTime(line), kOk) << line;
            const auto time = LineTime(line);
            ASSERT_TRUE(time.has_value()) << line;
            EXPECT_TRUE(!previous || *time > *previous) << "out of order or twice: " << line;
            previous = time;
        }
        EXPECT_GE(polls, 8) << "polls held up by the busy log";
        // The longest time between two polls, and by how much it exceeds
        // the usual one: how long a busy log held a tick.
        std::vector<Millis> gaps;
        for (std::size_t i = 1; i < requestTimes.size(); ++i) {
            gaps.push_back(std::chrono::duration_cast<Millis>(requestTimes[i] - requestTimes[i - 1]));
        }
        ASSERT_FALSE(gaps.empty());
        std::sort(gaps.begin(), gaps.end());
        const Millis longestGap = gaps.back();
        std::printf(
            "[ busy log ] %s: %d polls, %zu lines, longest time between two polls %lld ms (usual %lld "
            "ms)\n",
            spell.name, polls, lines.size(), static_cast<long long>(longestGap.count()),
            static_cast<long long>(gaps[gaps.size() / 2].count()));
        // A tick, a poll and the 2 s wait for the log at the spell's start.
        EXPECT_LT(longestGap, Scaled(Millis(4500)));
        // While lines wait the polls keep their pace: each tries the log
        // once, without waiting (the interval counts from a poll's end).
        EXPECT_LT(gaps[gaps.size() / 2], Millis(1000) + Scaled(Millis(60))) << "polls fall behind";
        if (!spell.killAndRestart) {
            const std::string err = logger_->Stderr();
            EXPECT_EQ(
                Occurrences(
                    err, "The log file is in use by another program; 1 line is waiting in log.txt.waiting"),
                1)
                << err;
            EXPECT_EQ(Occurrences(err, "the log file can be written again"), 1) << err;
        }
    }
}

// A logger killed (SIGKILL, as a power cut would end it) while it moves
// many waiting lines into the log, at the start of the move's write or in
// its middle, and started again: every waiting line is in the log exactly
// once, whole, in order, before the new polls' lines.
TEST_F(HostileLog, AMoveOfWaitingLinesKilledHalfWayLeavesEachLineOnceWholeAndInOrder)
{
    constexpr int kWaiting = 300000;
    const struct {
        const char* name;
        double killAt; // the share of the move in the log when the kill comes
    } kills[] = {
        {"killed as soon as the log grew", 0.0},
        {"killed half-way through the move", 0.5},
    };
    const std::string side = std::string(kLogName) + ".waiting";
    for (const auto& kill : kills) {
        SCOPED_TRACE(kill.name);
        StartLogger(kLogName);
        const std::string old = "2026-01-31 23:59:59,Lab North 7,1.,OK\r\n";
        std::string waiting;
        std::vector<std::string> expected = {old};
        char line[128];
        for (int i = 0; i < kWaiting; ++i) {
            const int length =
                std::snprintf(line, sizeof line, "2026-02-%02d %02d:%02d:%02d,Lab North 7,%d.,OK\r\n",
                              1 + i / 86400, i / 3600 % 24, i / 60 % 60, i % 60, i);
            waiting.append(line, static_cast<std::size_t>(length));
            expected.emplace_back(line, static_cast<std::size_t>(length));
        }
        {
            std::ofstream(logger_->Path(kLogName), std::ios::binary) << old;
            std::ofstream(logger_->Path(side), std::ios::binary) << waiting;
        }
        const auto sizeOf = [&] {
            struct stat info {};
            return ::stat(logger_->Path(kLogName).c_str(), &info) == 0
                       ? static_cast<std::size_t>(info.st_size)
                       : std::size_t{0};
        };
        const auto killAt =
            old.size() + static_cast<std::size_t>(kill.killAt * static_cast<double>(waiting.size()));
        logger_->Start();
        const auto end = std::chrono::steady_clock::now() + Scaled(Millis(10000));
        while (sizeOf() <= killAt && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        logger_->process().Signal(SIGKILL);
        ASSERT_TRUE(logger_->WaitForExit(Scaled(Millis(3000))));
        const std::size_t atKill = sizeOf();
        std::printf("[ killed move ] %s: the log held %zu of the move's %zu bytes\n", kill.name,
                    atKill - old.size(), waiting.size() + kOk.size());

        logger_->Start();
        // The first poll's line goes in with the move; the second's only
        // once the side file is gone.
        ASSERT_TRUE(logger_->WaitForLines(expected.size() + 3, Scaled(Millis(10000)))) << logger_->Stderr();
        ASSERT_EQ(logger_->Stop(), ExitStatus::Code(0)) << logger_->Stderr();
        EXPECT_TRUE(logger_->RuntimeErrors().empty()) << logger_->Stderr();
        EXPECT_FALSE(FileExists(logger_->Path(side)));

        const std::string text = logger_->Read();
        const auto lines = SplitLines(text);
        ASSERT_GE(lines.size(), expected.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (lines[i] != expected[i] && ++differing <= 3) {
                ADD_FAILURE() << "line " << i << ": " << lines[i] << " instead of " << expected[i];
            }
        }
        EXPECT_EQ(differing, 0U);
        std::size_t strangers = 0;
        for (std::size_t i = expected.size(); i < lines.size(); ++i) {
            if (MaskTime(lines[i]) != kOk && ++strangers <= 3) {
                ADD_FAILURE() << "line " << i << " is not a new poll's: " << lines[i];
            }
        }
        EXPECT_EQ(strangers, 0U) << "lines after the waiting ones that are not the new polls'";
        EXPECT_TRUE(text.ends_with("\r\n"));
        EXPECT_EQ(static_cast<std::size_t>(Occurrences(text, "\r\n")), lines.size())
            << "a line glued to another";
    }
}

// Lines that are not log lines in the side file (binary bytes, text of
// another kind, a link's target pasted in) never reach the log: they are
// set aside beside it, and standard error names the file they are in.
TEST_F(HostileLog, JunkInTheSideFileIsSetAsideAndNamedNeverMovedIn)
{
    StartLogger(kLogName);
    const std::string line = "2026-02-01 00:00:00,Lab North 7,1.,OK\r\n";
    const std::string junk = std::string("\x7f"
                                         "ELF\x02\x01\x00\r\n",
                                         9)
                             + "secret_key=ABCDEF\n";
    {
        std::ofstream(logger_->Path(std::string(kLogName) + ".waiting"), std::ios::binary) << junk << line;
    }
    logger_->Start();
    // The second poll's line goes in once the move is over.
    ASSERT_TRUE(logger_->WaitForLines(3, Scaled(Millis(5000)))) << logger_->Stderr();
    ASSERT_EQ(logger_->Stop(), ExitStatus::Code(0)) << logger_->Stderr();
    const auto lines = SplitLines(logger_->Read());
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(lines[0], line);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(MaskTime(lines[i]), kOk) << "line " << i;
    }
    EXPECT_EQ(logger_->Read(std::string(kLogName) + ".waiting.set-aside"), junk);
    EXPECT_NE(logger_->Stderr().find("2 lines in log.txt.waiting were not log lines; they were set aside in "
                                     "log.txt.waiting.set-aside"),
              std::string::npos)
        << logger_->Stderr();
}

// Makes a file unwritable even for root (the immutable attribute), and
// writable again when it goes so the folder can be removed.
class Unwritable {
public:
    explicit Unwritable(const std::string& path) : path_(path) { error_ = SetImmutable(true); }
    ~Unwritable()
    {
        if (error_ == 0) {
            SetImmutable(false);
        }
    }
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;

    // 0, or why the attribute could not be set.
    int error() const { return error_; }

private:
    int SetImmutable(bool on)
    {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        int error = 0;
        if (fd < 0 || ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            error = errno;
        } else {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            error = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 ? 0 : errno;
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return error;
    }

    std::string path_;
    int error_ = 0;
};

TEST_F(HostileLog, ALogThatCannotBeWrittenEndsTheProgramAndKeepsItsLines)
{
    StartLogger(kLogName);
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)))) << logger_->Stderr();
    Unwritable readOnly(logger_->Path(kLogName));
    if (readOnly.error() != 0) {
        GTEST_SKIP() << "cannot make the log immutable (needs CAP_LINUX_IMMUTABLE and a file system "
                        "with the attribute): "
                     << std::strerror(readOnly.error());
    }

    ExpectLogError(*logger_, "Permission denied", kLogName);
    EXPECT_EQ(logger_->Lines(), std::vector<std::string>{kOk});
}

// A tiny tmpfs, unmounted when the object goes.
class TinyDisk {
public:
    explicit TinyDisk(const std::string& path) : path_(path)
    {
        std::filesystem::create_directory(path_);
        error_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0 ? 0 : errno;
    }
    ~TinyDisk()
    {
        if (error_ == 0) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    TinyDisk(const TinyDisk&) = delete;
    TinyDisk& operator=(const TinyDisk&) = delete;

    int error() const { return error_; }

    // Writes a filler file until the disk refuses more.
    void FillUp() const
    {
        const int fd = ::open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const std::string block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
        }
        while (fd >= 0 && ::write(fd, block.data(), 1) > 0) {
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

private:
    std::string path_;
    int error_ = 0;
};

TEST_F(HostileLog, AFullDiskEndsTheProgramAndTheLogHoldsOnlyWholeLines)
{
    StartLogger("full/log.txt");
    TinyDisk disk(logger_->Path("full"));
    if (disk.error() != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs (needs CAP_SYS_ADMIN): " << std::strerror(disk.error());
    }
    logger_->Start();
    ASSERT_TRUE(logger_->WaitForLines(1, Scaled(Millis(5000)), "full/log.txt")) << logger_->Stderr();

    // Whole lines of our own bring the log just short of a page's end, so
    // the next line starts in the page the log already owns and needs a new
    // one for its rest: the write goes half-way, then the disk is full.
    std::string content = logger_->Read("full/log.txt");
    const std::string line = content;
    const std::size_t page = 4096;
    while (content.size() + line.size() <= page) {
        content += line;
    }
    ASSERT_LT(content.size(), page) << "the next line would not straddle the page's end";
    WriteFile(logger_->Path("full/log.txt"), content);
    disk.FillUp();

    ExpectLogError(*logger_, "Disk full", "full/log.txt");
    EXPECT_EQ(logger_->Read("full/log.txt"), content);
    for (const auto& written : SplitLines(logger_->Read("full/log.txt"))) {
        EXPECT_TRUE(IsWholeLine(written, 8)) << written;
    }
}

// Two programs append to one log on a disk that fills up: a long-line writer
// whose lines end up cut off at the disk's end, and a short-line writer
// whose lines still fit in the space left. Each prints the lines it was told
// were written. Without the lock, the long writer measures the log, the
// short one appends, and the long one's take-back of its half line either
// erases the other's line or, refused, leaves its own half line behind.
TEST(TwoWritersOnAFullDisk, EveryLineAWriterWasToldWasWrittenIsWholeInTheLogAndNothingElseIs)
{
    ScratchDir dir;
    TinyDisk disk(dir / "full");
    if (disk.error() != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs (needs CAP_SYS_ADMIN): " << std::strerror(disk.error());
    }
    const std::string log = dir / "full/log.txt";
    const std::map<std::string, std::size_t> lengths = {{"L", 3000}, {"S", 20}};
    // The clash is a matter of timing, so the writers meet at the disk's
    // end for 150 ms in each of several rounds.
    for (int round = 0; round < 10 && !testing::Test::HasFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::filesystem::remove(log);
        std::vector<std::unique_ptr<ChildProcess>> writers;
        for (const auto& [tag, length] : lengths) {
            writers.push_back(std::make_unique<ChildProcess>(SpawnOptions{
                .program = VORNIX7_LOG_WRITER_PROGRAM,
                .args = {log, tag, std::to_string(length), "150"},
                .workingDir = dir.path(),
                .env = {},
                .unsetEnv = {},
                .stdoutPath = dir / (tag + ".out"),
                .stderrPath = dir / (tag + ".err"),
            }));
        }
        std::this_thread::sleep_for(Millis(50));
        WriteFile(log, ""); // both start now
        for (auto& writer : writers) {
            ASSERT_EQ(writer->WaitForExit(Scaled(Millis(30000))), ExitStatus::Code(0));
        }

        const std::string text = ReadFile(log);
        ASSERT_GT(text.size(), 60000U) << "the disk did not fill up";
        std::set<std::string> inLog;
        for (const auto& line : SplitLines(text)) {
            const auto length = lengths.find(line.substr(0, 1));
            const bool whole =
                length != lengths.end() && line.size() == length->second && line.ends_with("\r\n");
            EXPECT_TRUE(whole) << "a broken line of " << line.size() << " bytes: " << line.substr(0, 20);
            inLog.insert(line);
        }
        for (const auto& [tag, length] : lengths) {
            const std::string reported = ReadFile(dir / (tag + ".out"));
            for (std::size_t at = 0, end = 0; (end = reported.find('\n', at)) != std::string::npos;
                 at = end + 1) {
                const std::string line = WriterLine(tag, std::stoi(reported.substr(at, end - at)), length);
                EXPECT_TRUE(inLog.contains(line)) << "lost: " << line.substr(0, 20);
            }
        }
    }
}

// Two programs append long lines to one FIFO, as two loggers feeding one
// collector would. A line longer than the pipe's atomic size (4 kB) goes
// out in several writes; whatever the reader gets, no line is broken into
// by the other writer's, and every line a writer was told was written is
// there.
TEST(TwoWritersOnAFifo, EveryLineArrivesWholeEvenWhenLongerThanThePipesAtomicSize)
{
    ScratchDir dir;
    const std::string fifo = dir / "log.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0) << std::strerror(errno);
    const std::map<std::string, std::size_t> lengths = {{"L", 9000}, {"M", 6000}};
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (const auto& [tag, length] : lengths) {
        writers.push_back(std::make_unique<ChildProcess>(SpawnOptions{
            .program = VORNIX7_LOG_WRITER_PROGRAM,
            .args = {fifo, tag, std::to_string(length), "300"},
            .workingDir = dir.path(),
            .env = {},
            .unsetEnv = {},
            .stdoutPath = dir / (tag + ".out"),
            .stderrPath = dir / (tag + ".err"),
        }));
    }
    std::string text;
    const auto end = std::chrono::steady_clock::now() + Scaled(Millis(30000));
    for (bool running = true; running && std::chrono::steady_clock::now() < end;) {
        char buffer[65536];
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        running = false;
        for (auto& writer : writers) {
            running = writer->Running() || running;
        }
        std::this_thread::sleep_for(Millis(1));
    }
    for (char buffer[65536]; true;) {
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(reader);
    for (auto& writer : writers) {
        ASSERT_EQ(writer->WaitForExit(Scaled(Millis(5000))), ExitStatus::Code(0));
    }

    std::set<std::string> inLog;
    int broken = 0;
    for (const auto& line : SplitLines(text)) {
        const auto length = lengths.find(line.substr(0, 1));
        const bool whole = length != lengths.end() && line.size() == length->second && line.ends_with("\r\n")
                           && line.find_first_of("LM", 1) == std::string::npos;
        broken += whole ? 0 : 1;
        inLog.insert(line);
    }
    EXPECT_EQ(broken, 0) << "of " << SplitLines(text).size() << " lines";
    std::size_t reportedCount = 0;
    for (const auto& [tag, length] : lengths) {
        const std::string reported = ReadFile(dir / (tag + ".out"));
        for (std::size_t at = 0, next = 0; (next = reported.find('\n', at)) != std::string::npos;
             at = next + 1) {
            ++reportedCount;
            const std::string line = WriterLine(tag, std::stoi(reported.substr(at, next - at)), length);
            EXPECT_TRUE(inLog.contains(line)) << "lost: " << line.substr(0, 20);
        }
    }
    EXPECT_GT(reportedCount, 10U) << "the writers hardly wrote";
}

} // namespace
} // namespace vornix7::e2e
