#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "scratch_dir.h"

namespace vornix7 {
namespace {

namespace fs = std::filesystem;

enum class Outcome { kRead, kMissing, kUnreadable };

struct ReadCase {
    const char* name;
    std::function<std::string(const std::string& dir)> prepare; // gives the path to read
    Outcome outcome;
    std::string bytes;   // kRead
    std::string problem; // kMissing, kUnreadable: the reason
    std::size_t limit = 1000;
};

std::string WithFile(const std::string& dir, const std::string& bytes)
{
    const std::string path = dir + "/file.ini";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(ReadFileBytes, GivesTheBytesOrTellsMissingFromUnreadable)
{
    // CR LF and a Ctrl-Z byte: a text-mode read would turn the one into LF
    // and stop at the other.
    using namespace std::string_literals;
    const std::string binary = "[Settings]\r\nA=1\x1A\r\nB=2\0\xFF"
                               "end"s;
    const ReadCase cases[] = {
        {"a file gives its bytes unchanged", [&](auto& dir) { return WithFile(dir, binary); }, Outcome::kRead,
         binary, ""},
        {"an empty file is read, empty", [](auto& dir) { return WithFile(dir, ""); }, Outcome::kRead, "", ""},
        {"only the first bytes up to the limit",
         [](auto& dir) { return WithFile(dir, std::string(100, 'x')); }, Outcome::kRead, std::string(10, 'x'),
         "", 10},
        {"no such file is missing", [](auto& dir) { return dir + "/none.ini"; }, Outcome::kMissing, "",
         "No such file or directory"},
        {"no such folder is missing", [](auto& dir) { return dir + "/none/file.ini"; }, Outcome::kMissing, "",
         "No such file or directory"},
        {"an empty path is missing", [](auto&) { return std::string(); }, Outcome::kMissing, "",
         "No such file or directory"},
        {"a folder is unreadable", [](auto& dir) { return dir; }, Outcome::kUnreadable, "", "Is a directory"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ScratchDir dir;
        const auto file = ReadFileBytes(c.prepare(dir.path()), c.limit);
        const Outcome outcome = file.ok()                 ? Outcome::kRead
                                : IsMissing(file.error()) ? Outcome::kMissing
                                                          : Outcome::kUnreadable;
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(file.ok() ? *file : std::string(), c.bytes);
        EXPECT_EQ(file.ok() ? std::string() : file.error().reason, c.problem);
    }
}

} // namespace
} // namespace vornix7
