// vornix7-log-writer LOG TAG LENGTH MILLISECONDS: waits for LOG to appear,
// then for MILLISECONDS appends WriterLine(TAG, n, LENGTH) for n = 0, 1, ...
// through the logger's own log file as fast as it can, printing each n it
// was told was written. Errors (a full disk) do not stop it, so that two
// writers started together keep meeting at the disk's end.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "common/runtime_error.h"
#include "log/log_file.h"
#include "platform/signals.h"
#include "writer_line.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: vornix7-log-writer LOG TAG LENGTH MILLISECONDS\n");
        return 2;
    }
    vornix7::IgnoreWriteSignals();
    const std::string path = argv[1];
    const std::string tag = argv[2];
    const auto length = static_cast<std::size_t>(std::atoi(argv[3]));
    using Clock = std::chrono::steady_clock;
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(path) && Clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    vornix7::LogFile log(path);
    const auto end = Clock::now() + std::chrono::milliseconds(std::atoi(argv[4]));
    for (int number = 0; Clock::now() < end; ++number) {
        try {
            log.Append(vornix7::e2e::WriterLine(tag, number, length));
            std::printf("%d\n", number);
            std::fflush(stdout);
        } catch (const vornix7::RuntimeError&) {
        }
    }
    return 0;
}
