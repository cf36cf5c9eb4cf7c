#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "scratch_dir.h"

namespace vornix7 {
namespace {

// Opening a FIFO for reading waits for a writer; the settings must never
// make start-up wait for one.
TEST(ReadFileBytes, AFifoWithoutWriterIsUnreadableAtOnce)
{
    const test::ScratchDir dir;
    const std::string path = dir.path() + "/fifo.ini";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const auto file = ReadFileBytes(path, 1000);
    ASSERT_FALSE(file.ok());
    EXPECT_FALSE(IsMissing(file.error()));
    EXPECT_EQ(file.error().reason, "Not a regular file");
}

} // namespace
} // namespace vornix7
