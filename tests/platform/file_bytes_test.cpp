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

struct ReadCase {
    const char* name;
    std::function<std::string(const std::string& dir)> prepare; // gives the path to read
    FileBytes::Outcome outcome;
    std::string bytes;   // kRead
    std::string problem; // kUnreadable
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
    using Outcome = FileBytes::Outcome;
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
        {"no such file is missing", [](auto& dir) { return dir + "/none.ini"; }, Outcome::kMissing, "", ""},
        {"no such folder is missing", [](auto& dir) { return dir + "/none/file.ini"; }, Outcome::kMissing, "",
         ""},
        {"an empty path is missing", [](auto&) { return std::string(); }, Outcome::kMissing, "", ""},
        {"a folder is unreadable", [](auto& dir) { return dir; }, Outcome::kUnreadable, "", "Is a directory"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ScratchDir dir;
        const FileBytes file = ReadFileBytes(c.prepare(dir.path()), c.limit);
        EXPECT_EQ(file.outcome, c.outcome);
        EXPECT_EQ(file.bytes, c.bytes);
        EXPECT_EQ(file.problem, c.problem);
    }
}

} // namespace
} // namespace vornix7
