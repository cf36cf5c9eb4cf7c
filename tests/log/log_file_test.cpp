#include "log/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <string>

#include "common/runtime_error.h"
#include "platform/log_append.h"
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
    for (const std::string before : {"", "old,line\r\n"}) {
        SCOPED_TRACE(before.empty() ? "no log yet" : "a log with a line");
        fs::remove(path);
        if (!before.empty()) {
            WriteAll(path, before);
        }
        LogFile log(path);
        log.Append("first,1.,OK\r\n");
        log.Append("second,2.,ERROR\r\n");
        EXPECT_EQ(ReadAll(path), before + "first,1.,OK\r\nsecond,2.,ERROR\r\n");
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
        ASSERT_FALSE(other->Open(path));
        bool taken = false;
        ASSERT_FALSE(other->TryLock(taken));
        ASSERT_TRUE(taken);
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
        ASSERT_FALSE(file.Open(path));
        EXPECT_FALSE(file.TakeBack(5, 3));
        ASSERT_FALSE(file.Close());
        EXPECT_EQ(ReadAll(path), c.expected);
    }
}

struct FailureCase {
    const char* name;
    std::function<std::string(const std::string& dir)> prepare; // gives the log path
    const char* kind;                                           // nullptr: any kind
    bool needsPermissionChecks = false;
};
void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class LogFileFailure : public LogFileTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(LogFileFailure, ThrowsAndChangesNothingOnDisk)
{
    const std::string path = GetParam().prepare(dir_);
    if (GetParam().needsPermissionChecks && std::ofstream(path, std::ios::app).is_open()) {
        GTEST_SKIP()
            << "file permissions are not enforced here (root); AParentThatIsAFile covers the error path";
    }
    const auto before = Snapshot();
    try {
        LogFile(path).Append("line,OK\r\n");
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& error) {
        if (GetParam().kind != nullptr) {
            EXPECT_EQ(error.kind(), GetParam().kind) << error.what();
        }
    }
    EXPECT_EQ(Snapshot(), before);
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

} // namespace
} // namespace vornix7
