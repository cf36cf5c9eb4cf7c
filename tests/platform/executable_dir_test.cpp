#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vornix7 {
namespace {

TEST(ExecutableDir, IsTheFolderThatHoldsTheRunningProgram)
{
    const std::string dir = ExecutableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), kPathSeparator);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir + kPathSeparator + VORNIX7_TEST_PROGRAM_NAME)) << dir;
}

} // namespace
} // namespace vornix7
