#include "log/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <ostream>
#include <string>

#include "common/runtime_error.h"

namespace vornix7 {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class LogFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "vornix7_log_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string dir_;
};

TEST_F(LogFileTest, AppendsEachLineAndNeverRewrites)
{
    const std::string path = dir_ + "/log.csv";
    const struct {
        const char* name;
        std::function<void()> before; // what stands in the way before the appends
        std::string keptBefore;       // what the file holds before the two lines
    } cases[] = {
        {"a new file is created", [] {}, ""},
        {"an existing log keeps its lines", [&] { WriteAll(path, "old,line\r\n"); }, "old,line\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path);
        c.before();
        LogFile log(path);
        log.Append("first,1.,OK\r\n");
        log.Append("second,2.,ERROR\r\n");
        EXPECT_EQ(ReadAll(path), c.keptBefore + "first,1.,OK\r\nsecond,2.,ERROR\r\n");
    }
}

TEST_F(LogFileTest, ADeletedLogBetweenAppendsIsCreatedAfresh)
{
    const std::string path = dir_ + "/log.csv";
    LogFile log(path);
    log.Append("first\r\n");
    ASSERT_TRUE(fs::remove(path));
    log.Append("second\r\n");
    EXPECT_EQ(ReadAll(path), "second\r\n");
}

struct FailureCase {
    const char* name;
    // Prepares the directory and gives the log path; `guarded` is a file
    // that must keep its bytes, `absent` a path that must not appear.
    std::function<std::string(const std::string& dir)> prepare;
    const char* kind; // nullptr: any kind
    std::string guarded;
    std::string absent;
    bool needsPermissionChecks = false;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class LogFileFailure : public LogFileTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(LogFileFailure, ThrowsAndLeavesEverythingAsItWas)
{
    const FailureCase& c = GetParam();
    if (c.needsPermissionChecks && ::geteuid() == 0) {
        GTEST_SKIP() << "root ignores file permissions; the parent-is-a-file case covers the error path";
    }
    const std::string path = c.prepare(dir_);
    const std::string guarded = c.guarded.empty() ? "" : dir_ + "/" + c.guarded;
    const std::string before = guarded.empty() ? "" : ReadAll(guarded);
    try {
        LogFile(path).Append("line,OK\r\n");
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& error) {
        if (c.kind != nullptr) {
            EXPECT_EQ(error.kind(), c.kind) << error.what();
        }
    }
    if (!guarded.empty()) {
        EXPECT_EQ(ReadAll(guarded), before);
    }
    if (!c.absent.empty()) {
        EXPECT_FALSE(fs::exists(dir_ + "/" + c.absent));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LogFileFailure,
    testing::Values(
        FailureCase{"AMissingDirectoryIsPathNotFoundAndCreatesNothing",
                    [](const std::string& dir) { return dir + "/missing/log.csv"; }, "Path not found", "", "missing"},
        FailureCase{"AnEmptyPathThrows", [](const std::string&) { return std::string(); }, nullptr, "", ""},
        FailureCase{"AParentThatIsAFileIsPathNotFound",
                    [](const std::string& dir) {
                        WriteAll(dir + "/plain", "kept\r\n");
                        return dir + "/plain/log.csv";
                    },
                    "Path not found", "plain", ""},
        FailureCase{"AReadOnlyLogIsPermissionDeniedAndKeepsItsLines",
                    [](const std::string& dir) {
                        WriteAll(dir + "/log.csv", "old,line\r\n");
                        ::chmod((dir + "/log.csv").c_str(), 0444);
                        return dir + "/log.csv";
                    },
                    "Permission denied", "log.csv", "", true},
        FailureCase{"ADirectoryInPlaceOfTheLogThrows",
                    [](const std::string& dir) {
                        fs::create_directory(dir + "/log.csv");
                        return dir + "/log.csv";
                    },
                    nullptr, "", ""}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace vornix7
