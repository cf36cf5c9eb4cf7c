#include "log/log_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef _WIN32
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/runtime_error.h"
#include "log/log_with_side_file.h"
#include "platform/locked_file.h"
#include "platform/system.h"
#include "scratch_dir.h"

namespace vornix7 {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A line of the log's form, as the logger writes it.
std::string Line(const std::string& name)
{
    return "2026-12-07 14:03:05," + name + ",21.5,-3.25,OK\r\n";
}

class LogFileTest : public testing::Test {
protected:
    // Every entry below the directory with the bytes of each file.
    std::map<std::string, std::string> Snapshot() const
    {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            entries[entry.path().string()] =
                entry.is_regular_file() ? ReadAll(entry.path().string()) : "(dir)";
        }
        return entries;
    }
    test::ScratchDir scratch_;
    const std::string dir_ = scratch_.path();
};

TEST_F(LogFileTest, AppendsEachLineAndNeverRewrites)
{
    const std::string path = dir_ + "/log.csv";
    const struct {
        const char* name;
        std::optional<std::string> before; // nullopt: no log yet
        std::string expected;
    } cases[] = {
        {"no log yet", std::nullopt, "first,1.,OK\r\nsecond,2.,ERROR\r\n"},
        {"a log with a line", "old,line\r\n", "old,line\r\nfirst,1.,OK\r\nsecond,2.,ERROR\r\n"},
        {"an empty log", "", "first,1.,OK\r\nsecond,2.,ERROR\r\n"},
        // Another writer crashed half-way: its half line is ended, never cut
        // and never glued to.
        {"a log ending in another writer's half line", "old,line\r\n2026-01-01 00:00:01,Lab No",
         "old,line\r\n2026-01-01 00:00:01,Lab No\r\nfirst,1.,OK\r\nsecond,2.,ERROR\r\n"},
        {"a log ending in a half line end", "old,line\r", "old,line\r\r\nfirst,1.,OK\r\nsecond,2.,ERROR\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path);
        if (c.before) {
            WriteAll(path, *c.before);
        }
        LogFile log(path);
        log.Append("first,1.,OK\r\n");
        log.Append("second,2.,ERROR\r\n");
        EXPECT_EQ(ReadAll(path), c.expected);
    }
}

// What another program does to the log between two lines.
struct BetweenLines {
    const char* name;
    std::function<void(const std::string& dir)> act;
    std::map<std::string, std::string> expected; // file name below dir -> bytes
};
void PrintTo(const BetweenLines& c, std::ostream* out)
{
    *out << c.name;
}

class LogTakenAway : public LogFileTest, public testing::WithParamInterface<BetweenLines> {};

TEST_P(LogTakenAway, BetweenLinesIsCreatedAfresh)
{
    LogFile log(dir_ + "/log.csv");
    log.Append("first\r\n");
    try {
        GetParam().act(dir_);
    } catch (const fs::filesystem_error& error) {
        GTEST_SKIP() << "the file system cannot do this here: " << error.what();
    }
    log.Append("second\r\n");
    for (const auto& [name, bytes] : GetParam().expected) {
        EXPECT_EQ(ReadAll(dir_ + "/" + name), bytes) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Log, LogTakenAway,
    testing::Values(
        BetweenLines{"Deleted", [](auto& dir) { fs::remove(dir + "/log.csv"); }, {{"log.csv", "second\r\n"}}},
        BetweenLines{"Renamed",
                     [](auto& dir) { fs::rename(dir + "/log.csv", dir + "/kept.csv"); },
                     {{"log.csv", "second\r\n"}, {"kept.csv", "first\r\n"}}},
        BetweenLines{"DeletedBehindASymbolicLink",
                     [](auto& dir) {
                         fs::rename(dir + "/log.csv", dir + "/target.csv");
                         fs::create_symlink("target.csv", dir + "/log.csv");
                         fs::remove(dir + "/target.csv");
                     },
                     {{"target.csv", "second\r\n"}}}),
    [](const testing::TestParamInfo<BetweenLines>& info) { return std::string(info.param.name); });

// Another logger holding the append lock: the line waits for it, step by
// step, and is written once the lock is free; a lock that never comes is an
// error, not a hang.
TEST_F(LogFileTest, ALineWaitsForTheLockInStepsAndGivesUpOnALockThatNeverComes)
{
    const std::string path = dir_ + "/log.csv";
    for (const int releaseAfter : {3, LogFile::kWaitSteps + 1}) {
        SCOPED_TRACE(releaseAfter);
        WriteAll(path, "old\r\n");
        auto other = std::make_unique<LogAppendFile>();
        ASSERT_TRUE(other->Open(path).ok());
        const auto taken = other->TryLock();
        ASSERT_TRUE(taken.ok());
        ASSERT_TRUE(*taken);
        int steps = 0;
        LogFile log(path, [&] {
            if (++steps == releaseAfter) {
                other.reset();
            }
        });
        if (releaseAfter <= LogFile::kWaitSteps) {
            log.Append("line\r\n");
            EXPECT_EQ(steps, releaseAfter);
            EXPECT_EQ(ReadAll(path), "old\r\nline\r\n");
        } else {
            try {
                log.Append("line\r\n");
                ADD_FAILURE() << "no error";
            } catch (const RuntimeError& error) {
                EXPECT_EQ(error.kind(), "Permission denied") << error.what();
            }
            EXPECT_EQ(steps, LogFile::kWaitSteps);
            EXPECT_EQ(ReadAll(path), "old\r\n");
        }
    }
}

// A half line is cut back only while the file holds exactly what was
// measured plus the half line: anything another writer added stays.
TEST_F(LogFileTest, AHalfLineIsTakenBackOnlyWhenNothingElseWasAdded)
{
    const std::string path = dir_ + "/log.csv";
    const struct {
        const char* name;
        std::string after; // the file once the half line "hal" is in
        std::string expected;
    } cases[] = {
        {"only the half line added", "old\r\nhal", "old\r\n"},
        {"another line added as well", "old\r\nother\r\nhal", "old\r\nother\r\nhal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(path, c.after);
        LogAppendFile file;
        ASSERT_TRUE(file.Open(path).ok());
        EXPECT_TRUE(file.TakeBack(5, 3).ok());
        ASSERT_TRUE(file.Close().ok());
        EXPECT_EQ(ReadAll(path), c.expected);
    }
}

struct FailureCase {
    const char* name;
    std::function<std::string(const std::string& dir)> prepare; // gives the log path
    const char* kind;                                           // nullptr: any kind
    bool needsPermissionChecks = false;
    long fileSizeLimit = 0; // bytes a process may make a file; 0: no limit set
};
void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class LogFileFailure : public LogFileTest, public testing::WithParamInterface<FailureCase> {
protected:
    // The case's failure through a log of type Log: it throws at once and
    // leaves the directory as it was.
    template <class Log> void ExpectThrowsAndChangesNothingOnDisk(const char* whyNotChecked)
    {
        const std::string path = GetParam().prepare(dir_);
        if (GetParam().needsPermissionChecks && std::ofstream(path, std::ios::app).is_open()) {
            GTEST_SKIP() << "file permissions are not enforced here (root)" << whyNotChecked;
        }
        const auto before = Snapshot();
#ifndef _WIN32
        rlimit unlimited{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        if (GetParam().fileSizeLimit > 0) {
            rlimit limit = unlimited;
            limit.rlim_cur = static_cast<rlim_t>(GetParam().fileSizeLimit);
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
#endif
        int steps = 0;
        try {
            Log(path, [&] { ++steps; }).Append("line,OK\r\n");
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& error) {
            if (GetParam().kind != nullptr) {
                EXPECT_EQ(error.kind(), GetParam().kind) << error.what();
            }
        }
#ifndef _WIN32
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
#endif
        EXPECT_EQ(steps, 0) << "an error the log cannot recover from is reported at once";
        EXPECT_EQ(Snapshot(), before);
    }
};

TEST_P(LogFileFailure, ThrowsAndChangesNothingOnDisk)
{
    ExpectThrowsAndChangesNothingOnDisk<LogFile>("; AParentThatIsAFile covers the error path");
}

// What is really wrong with the log stays an error with a side file beside
// it: nothing is parked in a side file instead.
TEST_P(LogFileFailure, ThrowsWithASideFileTooAndParksNothing)
{
    ExpectThrowsAndChangesNothingOnDisk<LogWithSideFile>("");
}

std::string WithOldLog(const std::string& dir, const char* name)
{
    WriteAll(dir + "/" + name, "old,line\r\n");
    return dir + "/" + name;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LogFileFailure,
    testing::Values(FailureCase{"AMissingDirectoryIsPathNotFound",
                                [](auto& dir) { return dir + "/missing/log.csv"; }, "Path not found"},
                    FailureCase{"AnEmptyPathThrows", [](auto&) { return std::string(); }, nullptr},
                    FailureCase{"AParentThatIsAFileIsPathNotFound",
                                [](auto& dir) { return WithOldLog(dir, "plain") + "/log.csv"; },
                                "Path not found"},
                    FailureCase{"AReadOnlyLogIsPermissionDenied",
                                [](auto& dir) {
                                    fs::permissions(WithOldLog(dir, "log.csv"),
                                                    fs::perms::owner_read | fs::perms::group_read);
                                    return dir + "/log.csv";
                                },
                                "Permission denied", true},
                    FailureCase{"ADirectoryInPlaceOfTheLogThrows",
                                [](auto& dir) {
                                    fs::create_directory(dir + "/log.csv");
                                    return dir + "/log.csv";
                                },
                                nullptr}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// Another program holding the log, as it does it; let go when the returned
// object goes.
struct BusyCase {
    const char* name;
    std::function<std::shared_ptr<void>(const std::string& path)> hold;
};
void PrintTo(const BusyCase& c, std::ostream* out)
{
    *out << c.name;
}

std::shared_ptr<void> HoldTheAppendLock(const std::string& path)
{
    auto other = std::make_shared<LogAppendFile>();
    EXPECT_TRUE(other->Open(path).ok());
    const auto taken = other->TryLock();
    EXPECT_TRUE(taken.ok() && *taken);
    return other;
}

#ifdef _WIN32
// As a spreadsheet opens a CSV file: others may read it, nobody may write.
std::shared_ptr<void> OpenSharingOnlyReading(const std::string& path)
{
    const HANDLE file = CreateFileW(WideFromCodePage(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    return {file, [](HANDLE h) {
                CloseHandle(h);
            }};
}
#endif

class BusyLog : public LogFileTest, public testing::WithParamInterface<BusyCase> {};

// Two loggers write one log while another program holds it: every line
// waits in the side file, flushed, without holding a poll up for long, and
// once the log is free they all go in, in order, each once.
TEST_P(BusyLog, LinesWaitInTheSideFileAndGoInOnceInTheirOrder)
{
    const std::string path = dir_ + "/log.csv";
    const std::string side = path + ".waiting";
    WriteAll(path, Line("old"));
    int steps = 0;
    std::vector<std::string> notices;
    LogWithSideFile first(
        path, [&] { ++steps; }, [&](const std::string& text) { notices.push_back(text); });
    LogWithSideFile second(path, [&] { ++steps; });
    {
        const auto holder = GetParam().hold(path);
        first.Append(Line("a1"));
        EXPECT_LE(steps, LogFile::kWaitSteps + 2);
        second.Append(Line("b1"));
        steps = 0;
        first.Append(Line("a2"));
        EXPECT_EQ(steps, 0) << "a poll held up by a log known to be busy";
        EXPECT_EQ(ReadAll(side), Line("a1") + Line("b1") + Line("a2"));
    }
    EXPECT_EQ(ReadAll(path), Line("old"));
    second.Append(Line("b2"));
    EXPECT_EQ(ReadAll(path), Line("old") + Line("a1") + Line("b1") + Line("a2") + Line("b2"));
    EXPECT_FALSE(fs::exists(side));
    first.Append(Line("a3"));
    EXPECT_EQ(ReadAll(path), Line("old") + Line("a1") + Line("b1") + Line("a2") + Line("b2") + Line("a3"));
    EXPECT_EQ(notices, (std::vector<std::string>{LogWithSideFile::NoticeText(1, side),
                                                 LogWithSideFile::NoticeText(3, side), ""}));
}

std::vector<BusyCase> BusyCases()
{
    std::vector<BusyCase> cases = {{"AnotherProgramKeepsTheAppendLock", HoldTheAppendLock}};
#ifdef _WIN32
    cases.push_back({"ASpreadsheetOpenedItSharingOnlyReading", OpenSharingOnlyReading});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Log, BusyLog, testing::ValuesIn(BusyCases()),
                         [](const testing::TestParamInfo<BusyCase>& info) {
                             return std::string(info.param.name);
                         });

// What a logger that ended (SIGKILL, a crash, a power cut) may leave
// behind, what the side file may hold, and the log after the next line.
std::string Record(std::size_t from)
{
    return "# moving into the log from byte " + std::to_string(from) + "\r\n";
}

TEST_F(LogFileTest, LinesLeftInASideFileGoInBeforeTheNextLineEachOnce)
{
    const std::string a = Line("a");
    const std::string b = Line("b");
    const std::string c = Line("c");
    const std::string old = Line("old");
    const std::string moved = a + b + c; // what a move of a, b, c writes
    const std::string fresh = Line("new");
    const std::string ofForm =
        "2026-13-32 25\t61\t61,\"Lab, \"\"N\"\"\",1.,-0.25,OK\r\n"
        "2026-12-07 14.03.05,\"\",ERROR\r\n"
        "2026-12-07 14:03:05,Lab,0.,1.,2.,3.,4.,5.,6.,7.,8.,9.,10.,11.,12.,13.,14.,15.,16.,17.,OK\r\n";
    const std::string notOfForm = "2026-12-07 14,03,05,a,1.,OK\r\n"
                                  "2026-12-07 14\xE2\x88\xB6"
                                  "03\xE2\x88\xB6"
                                  "05,a,1.,OK\r\n"
                                  "2026-12-07 14\x01"
                                  "03\x01"
                                  "05,a,1.,OK\r\n"
                                  "2026-12-07 14:03:05,a,1.234,OK\r\n"
                                  "2026-12-07 14:03:05,Lab, North,1.,OK\r\n"
                                  "2026-12-07 14:03:05,La\"b,1.,OK\r\n"
                                  "2026-12-07 14:03:05,\"a\"b,1.,OK\r\n"
                                  "2026-12-07 14:03:05,\"L\x1b[2Jb\",1.,OK\r\n"
                                  "2026-12-07 14:03:05,a,1.,ok\r\n";
    const struct {
        std::string name;
        std::optional<std::string> log; // nullopt: no log
        std::string side;
        std::string expected;
        std::string setAside = {}; // what is set aside beside the log
    } cases[] = {
        {"lines left while the log was busy", old, a + b, old + a + b + fresh},
        {"a move that ended after the log's flush", old + a + b, a + b, old + a + b + fresh},
        {"a move cut short after its first line", old + a, a + b, old + a + b + fresh},
        {"a log ending in a line that only one waiting line matches", old + b, a + b,
         old + b + a + b + fresh},
        {"a half line at the side file's end", old, a + "2026-12-07 14:03:06,b,2", old + a + fresh,
         "2026-12-07 14:03:06,b,2\r\n"},
        {"an empty side file", old, "", old + fresh},
        {"no log any more", std::nullopt, a, a + fresh},
        // A move cut at any byte (SIGKILL or a power cut during its write)
        // is finished from where it stopped, each line once and whole.
        {"a recorded move cut before its first byte", old, a + b + c + Record(old.size()),
         old + moved + fresh},
        {"a recorded move cut after one byte", old + moved.substr(0, 1), a + b + c + Record(old.size()),
         old + moved + fresh},
        {"a recorded move cut in its first line", old + moved.substr(0, 17), a + b + c + Record(old.size()),
         old + moved + fresh},
        {"a recorded move cut between CR and LF", old + moved.substr(0, a.size() - 1),
         a + b + c + Record(old.size()), old + moved + fresh},
        {"a recorded move cut after its first line", old + a, a + b + c + Record(old.size()),
         old + moved + fresh},
        {"a recorded move cut in its last line", old + moved.substr(0, moved.size() - 3),
         a + b + c + Record(old.size()), old + moved + fresh},
        {"a recorded move that ended after the log's flush", old + moved, a + b + c + Record(old.size()),
         old + moved + fresh},
        {"a recorded move cut short, then a line waited more", old + a.substr(0, 9),
         a + b + Record(old.size()) + c, old + moved + fresh},
        {"a recorded move onto a log ending in a half line, cut after its line end",
         "old,ha\r\n" + a.substr(0, 4), a + b + Record(6), "old,ha\r\n" + a + b + fresh},
        // The log changed after the move was cut: nothing is cut or skipped.
        {"a recorded move whose log was replaced", "other\r\n", a + b + Record(old.size()),
         "other\r\n" + a + b + fresh},
        {"a recorded move whose log got other lines", old + Line("x"), a + b + Record(old.size()),
         old + Line("x") + a + b + fresh},
        // Only lines of the log's form move; the rest is set aside.
        {"binary bytes and other text", old,
         a
             + std::string("\x7f"
                           "ELF\x02\x01\x00\x00\r\n",
                           10)
             + "secret_key=ABCDEF\n" + b + "x,1.,OK\r\n",
         old + a + b + fresh,
         std::string("\x7f"
                     "ELF\x02\x01\x00\x00\r\n",
                     10)
             + "secret_key=ABCDEF\nx,1.,OK\r\n"},
        // The move does not judge dates or count readings; names come quoted
        // as CSV, or plain without quote or comma.
        {"lines of the log's form with any date and any number of readings", old, ofForm,
         old + ofForm + fresh},
        {"lines of other forms, also the report's older ones", old, a + notOfForm + b, old + a + b + fresh,
         notOfForm},
        {"a line without any line end", old, "no line end", old + fresh, "no line end\r\n"},
        {"a record with a sign or a blank is no record", old,
         a + "# moving into the log from byte +6\r\n# moving into the log from byte  6\r\n", old + a + fresh,
         "# moving into the log from byte +6\r\n# moving into the log from byte  6\r\n"},
        {"a line longer than any log line, read in pieces", old,
         a + std::string(3 << 19, 'x') + "," + b.substr(20) + b, old + a + b + fresh,
         std::string(3 << 19, 'x') + "," + b.substr(20)},
        {"a log line with LF alone", old, "2026-12-07 14:03:05,a,21.5,OK\n" + b, old + b + fresh,
         "2026-12-07 14:03:05,a,21.5,OK\n"},
        // A half line at the log's end (another writer crashed) is ended first.
        {"a log ending in another writer's half line", old + "2026-01-01 00:00:01,Lab No", a,
         old + "2026-01-01 00:00:01,Lab No\r\n" + a + fresh},
    };
    const std::string path = dir_ + "/log.csv";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path);
        fs::remove(path + ".waiting.set-aside");
        if (c.log) {
            WriteAll(path, *c.log);
        }
        WriteAll(path + ".waiting", c.side);
        std::vector<std::string> notices;
        LogWithSideFile(path, nullptr, [&](const std::string& text) {
            notices.push_back(text);
        }).Append(fresh);
        EXPECT_EQ(ReadAll(path), c.expected);
        EXPECT_FALSE(fs::exists(path + ".waiting"));
        EXPECT_EQ(fs::exists(path + ".waiting.set-aside"), !c.setAside.empty());
        if (!c.setAside.empty()) {
            EXPECT_EQ(ReadAll(path + ".waiting.set-aside"), c.setAside);
            EXPECT_EQ(notices,
                      std::vector<std::string>{LogWithSideFile::SetAsideText(
                          static_cast<std::size_t>(std::count(c.setAside.begin(), c.setAside.end(), '\n')),
                          path + ".waiting")});
        }
    }
}

// Anybody who may write in the log's folder may put something else in the
// side file's place. It is never followed, read, cut, written or created
// through; the logger stops with a message naming it, and the log and
// everything else stay as they were.
TEST_F(LogFileTest, OnlyAPlainFileOfItsOwnIsUsedAsTheSideFile)
{
    const struct {
        const char* name;
        std::function<void(const std::string& side, const std::string& dir)> put;
        const char* reason;
    } cases[] = {
        {"a link to a file with lines",
         [](auto& side, auto& dir) {
             WriteAll(dir + "/secret", "secret_key=ABCDEF\r\nb\r\nlast");
             fs::create_symlink(dir + "/secret", side);
         },
         "symbolic link"},
        {"a link to a file without a line end",
         [](auto& side, auto& dir) {
             WriteAll(dir + "/secret", "no line end");
             fs::create_symlink(dir + "/secret", side);
         },
         "symbolic link"},
        {"a link that leads nowhere",
         [](auto& side, auto& dir) { fs::create_symlink(dir + "/target", side); }, "symbolic link"},
        {"a folder", [](auto& side, auto&) { fs::create_directory(side); }, "folder"},
        {"a second name of another file",
         [](auto& side, auto& dir) {
             WriteAll(dir + "/secret", "secret_key=ABCDEF\r\n");
             fs::create_hard_link(dir + "/secret", side);
         },
         "hard links"},
#ifndef _WIN32
        {"a FIFO", [](auto& side, auto&) { ASSERT_EQ(::mkfifo(side.c_str(), 0600), 0); },
         "not a regular file"},
#endif
    };
    const std::string path = dir_ + "/log.csv";
    const std::string side = path + ".waiting";
    for (const bool busy : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (busy ? ", the log busy" : ", the log free"));
            fs::remove_all(dir_);
            fs::create_directories(dir_);
            WriteAll(path, Line("old"));
            try {
                c.put(side, dir_);
            } catch (const fs::filesystem_error& error) {
                std::printf("skipped, the file system cannot do this here: %s\n", error.what());
                continue;
            }
            const auto before = Snapshot();
            const auto holder = busy ? HoldTheAppendLock(path) : nullptr;
            try {
                LogWithSideFile(path, [] {}).Append(Line("new"));
                ADD_FAILURE() << "no error";
            } catch (const RuntimeError& error) {
                EXPECT_NE(std::string(error.what()).find(side), std::string::npos) << error.what();
                EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
            }
            EXPECT_EQ(Snapshot(), before);
            EXPECT_FALSE(fs::exists(dir_ + "/target")) << "created through a link";
        }
    }
}

// Another logger moves the waiting lines in, with its own new line, and
// removes the side file while this one waits for the side file's lock: this
// one must not move them again from the side file it still has open.
TEST_F(LogFileTest, ASideFileMovedInByAnotherLoggerMeanwhileIsNotMovedAgain)
{
    const std::string path = dir_ + "/log.csv";
    WriteAll(path, Line("old"));
    WriteAll(path + ".waiting", Line("a"));
    auto other = std::make_unique<SideFile>();
    const auto opened = other->Open(path + ".waiting", false);
    ASSERT_TRUE(opened.ok() && *opened);
    const auto taken = other->TryLock();
    ASSERT_TRUE(taken.ok());
    ASSERT_TRUE(*taken);
    LogWithSideFile log(path, [&] {
        if (other) {
            LogFile(path).Append(Line("a") + Line("other"));
            EXPECT_TRUE(other->Remove().ok());
            other.reset();
        }
    });
    log.Append(Line("new"));
    EXPECT_EQ(ReadAll(path), Line("old") + Line("a") + Line("other") + Line("new"));
    EXPECT_FALSE(fs::exists(path + ".waiting"));
}

#ifndef _WIN32
std::string WithLogOfSize(const std::string& dir, std::size_t size)
{
    WriteAll(dir + "/log.csv", std::string(size, 'x'));
    return dir + "/log.csv";
}

INSTANTIATE_TEST_SUITE_P(
    PosixErrors, LogFileFailure,
    testing::Values(FailureCase{"AFullDeviceIsDiskFull",
                                [](auto& dir) {
                                    fs::create_symlink("/dev/full", dir + "/log.csv");
                                    return dir + "/log.csv";
                                },
                                "Disk full"},
                    FailureCase{"ALineBeyondTheFileSizeLimitIsFileTooLarge",
                                [](auto& dir) { return WithLogOfSize(dir, 4096); }, "File too large", false,
                                4096},
                    FailureCase{"ALineCrossingTheFileSizeLimitIsTakenBackAndIsFileTooLarge",
                                [](auto& dir) { return WithLogOfSize(dir, 4090); }, "File too large", false,
                                4096}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// A service's standard output is often a socket (the journal), which no
// open() reaches; the log names it as one of the program's own descriptors.
TEST_F(LogFileTest, ALogNamingOneOfTheProgramsOwnSocketsTakesEachLine)
{
    const struct {
        const char* name;
        std::function<std::string(int fd)> path;
    } cases[] = {
        {"/dev/fd/N",
         [](int fd) {
             return "/dev/fd/" + std::to_string(fd);
         }},
        {"/proc/self/fd/N",
         [](int fd) {
             return "/proc/self/fd/" + std::to_string(fd);
         }},
        {"/proc/PID/fd/N",
         [](int fd) {
             return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd);
         }},
        {"/dev/stdout",
         [](int) {
             return std::string("/dev/stdout");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int ends[2] = {-1, -1};
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        const bool onStdout = std::string(c.name) == "/dev/stdout";
        const int savedStdout = onStdout ? ::dup(1) : -1;
        if (onStdout) {
            std::fflush(stdout);
            ::dup2(ends[1], 1);
        }
        std::string error;
        try {
            LogFile log(c.path(ends[1]));
            log.Append("first,OK\r\n");
            log.Append("second,OK\r\n");
        } catch (const RuntimeError& e) {
            error = e.what();
        }
        if (onStdout) {
            ::dup2(savedStdout, 1);
            ::close(savedStdout);
        }
        ::close(ends[1]);
        EXPECT_EQ(error, "");
        std::string received;
        char buffer[256];
        for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(ends[0]);
        EXPECT_EQ(received, "first,OK\r\nsecond,OK\r\n");
    }
}

// The flush to stable storage, made slow or failing: fdatasync of this test
// program is this one, which waits or fails as told before doing its work.
std::atomic<int> flushDelayMs{0};
std::atomic<int> flushError{0};
std::atomic<bool> flushing{false};
std::atomic<int> flushesEnded{0};

} // namespace
} // namespace vornix7

extern "C" int fdatasync(int fd)
{
    using Real = int (*)(int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fdatasync"));
    using namespace vornix7;
    flushing = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(flushDelayMs.load()));
    flushing = false;
    ++flushesEnded;
    if (flushError != 0) {
        errno = flushError;
        return -1;
    }
    return real(fd);
}

namespace vornix7 {
namespace {

// A slow disk must not hold the program's thread: the flush runs while the
// wait steps go on (pumping window events, so Exit works), and the line
// counts as written, or its error is thrown, only once the flush is over.
TEST_F(LogFileTest, ASlowFlushRunsWhileTheWaitStepsGoOnAndEndsTheAppend)
{
    const std::string path = dir_ + "/log.csv";
    const struct {
        const char* name;
        int delayMs;
        int error;
        const char* kind; // nullptr: the line is written
    } cases[] = {
        {"a flush of 300 ms", 300, 0, nullptr},
        {"a flush that fails after 300 ms", 300, EIO, "File I/O error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path);
        flushDelayMs = c.delayMs;
        flushError = c.error;
        flushesEnded = 0;
        int stepsDuringFlush = 0;
        LogFile log(path, [&] {
            if (flushing) {
                ++stepsDuringFlush;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(LogFile::kStepMilliseconds));
        });
        std::string kind;
        try {
            log.Append("line,OK\r\n");
        } catch (const RuntimeError& error) {
            kind = error.kind();
        }
        const int endedWhenAppendReturned = flushesEnded;
        flushDelayMs = 0;
        flushError = 0;
        EXPECT_GE(stepsDuringFlush, 5);
        EXPECT_GE(endedWhenAppendReturned, 1);
        EXPECT_EQ(kind, c.kind == nullptr ? "" : c.kind);
    }
}
#endif

} // namespace
} // namespace vornix7
