#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vornix7 {
namespace {

TEST(ExecutableFolder, IsTheFolderThatHoldsTheRunningProgram)
{
    const std::filesystem::path dir = ExecutableFolder();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.native().back(), static_cast<std::filesystem::path::value_type>(kPathSeparator));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / VORNIX7_TEST_PROGRAM_NAME)) << dir;
}

} // namespace
} // namespace vornix7
