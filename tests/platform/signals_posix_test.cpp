#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/signals.h"
#include "scratch_dir.h"

namespace vornix7 {
namespace {

// Each in a child of its own: without IgnoreWriteSignals the signal ends
// the child instead of the write failing, and the child's exit says so.

TEST(IgnoreWriteSignals, AWriteToAPipeWithoutReaderFailsWithEpipe)
{
    EXPECT_EXIT(
        {
            IgnoreWriteSignals();
            int fds[2];
            if (::pipe(fds) != 0) {
                ::_exit(2);
            }
            ::close(fds[0]);
            const bool failed = ::write(fds[1], "x", 1) < 0 && errno == EPIPE;
            ::_exit(failed ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(IgnoreWriteSignals, AWritePastTheSizeLimitFailsWithEfbig)
{
    const test::ScratchDir dir;
    const std::string path = dir.path() + "/big.csv";
    EXPECT_EXIT(
        {
            IgnoreWriteSignals();
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 4;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (fd < 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0 || ::write(fd, "1234", 4) != 4) {
                ::_exit(2);
            }
            const bool failed = ::write(fd, "5", 1) < 0 && errno == EFBIG;
            ::_exit(failed ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace vornix7
