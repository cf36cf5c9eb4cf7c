#include "memory_probe.h"

#include <malloc.h>

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define VORNIX7_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORNIX7_ASAN 1
#endif
#endif

#ifdef VORNIX7_ASAN
// From the sanitizer runtime; declared here since GCC installs no header
// for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#define VORNIX7_HAVE_VALGRIND 1
#endif

namespace vornix7::soak {

std::int64_t ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            std::int64_t kib = -1;
            fields >> kib;
            return kib;
        }
    }
    return -1;
}

std::int64_t LiveHeapBytes()
{
#ifdef VORNIX7_ASAN
    return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    // Small blocks in the arenas plus the large ones glibc maps on their own.
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
#endif
}

bool ResidentSizeIsProgramOwn()
{
#ifdef VORNIX7_ASAN
    return false;
#elif defined(VORNIX7_HAVE_VALGRIND)
    return RUNNING_ON_VALGRIND == 0;
#else
    return true;
#endif
}

} // namespace vornix7::soak
