// Loaded into the logger with LD_PRELOAD by the tests of a slow disk: every
// fdatasync first waits VORNIX7_TEST_FLUSH_DELAY_MS milliseconds, as the
// flush to a USB stick or a network share may, then does its work.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern "C" int fdatasync(int fd)
{
    using Real = int (*)(int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fdatasync"));
    const char* delay = std::getenv("VORNIX7_TEST_FLUSH_DELAY_MS");
    if (delay != nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
    }
    return real(fd);
}
