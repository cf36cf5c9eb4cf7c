#include "platform/standard_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace vornix7 {

namespace {

// Written once, by HoldStandardStreams on the main thread before anything
// else runs; only read afterwards.
bool noted = false;
std::vector<int> given; // sorted

bool IsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

} // namespace

void PutStandardOutputInBinaryMode() {}

void HoldStandardStreams()
{
    given.clear();
    for (int fd = 0; fd <= 2; ++fd) {
        if (IsOpen(fd)) {
            given.push_back(fd);
            continue;
        }
        // The lowest free number: this one, as those below are open.
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    // Descriptors above 2 that the starter passed on (`3>file`, a socket of
    // the service manager). Listed after the three are held, so the
    // listing's own descriptor cannot be one of them.
    if (DIR* const folder = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(folder);
        while (const dirent* entry = ::readdir(folder)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && *end == '\0' && fd > 2 && fd != own && fd < 1L << 30) {
                given.push_back(static_cast<int>(fd));
            }
        }
        ::closedir(folder);
    }
    std::sort(given.begin(), given.end());
    noted = true;
}

bool WasGivenAtStartUp(int fd)
{
    return !noted || std::binary_search(given.begin(), given.end(), fd);
}

} // namespace vornix7
