#include "log/log_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <string>

#include "common/runtime_error.h"

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
    void SetUp() override { ASSERT_NE(::mkdtemp(dir_.data()), nullptr); }
    void TearDown() override { fs::remove_all(dir_); }

    // Every entry below the directory with the bytes of each file.
    std::map<std::string, std::string> Snapshot() const
    {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            entries[entry.path()] = entry.is_regular_file() ? ReadAll(entry.path()) : "(dir)";
        }
        return entries;
    }
    std::string dir_ = testing::TempDir() + "vornix7_log_XXXXXX";
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

TEST_F(LogFileTest, ALogDeletedBetweenAppendsIsCreatedAfresh)
{
    LogFile log(dir_ + "/log.csv");
    log.Append("first\r\n");
    ASSERT_TRUE(fs::remove(dir_ + "/log.csv"));
    log.Append("second\r\n");
    EXPECT_EQ(ReadAll(dir_ + "/log.csv"), "second\r\n");
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
    if (GetParam().needsPermissionChecks && ::geteuid() == 0) {
        GTEST_SKIP() << "root ignores file permissions; AParentThatIsAFile covers the error path";
    }
    const std::string path = GetParam().prepare(dir_);
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
