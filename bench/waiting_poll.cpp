// CPU and wall time of a poll while N lines wait beside a busy log, the
// first poll after a start, the move once the log is free, and peak memory:
//   vornix7-waiting-poll DIR LINES [POLLS]   (DIR is made, its log.txt* replaced)
#include "log/log_with_side_file.h"
#include "platform/signals.h"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
static double Cpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}
int main(int argc, char** argv)
{
    vornix7::IgnoreWriteSignals();
    const std::string dir = argv[1];
    const long lines = std::atol(argv[2]);
    const int polls = argc > 3 ? std::atoi(argv[3]) : 20;
    std::filesystem::create_directories(dir);
    const std::string log = dir + "/log.txt";
    std::filesystem::remove(log + ".waiting");
    {
        std::ofstream(log, std::ios::binary) << "2026-02-01 00:00:00,Lab North,21.5,48.,-3.25,OK\r\n";
    }
    {
        std::ofstream side(log + ".waiting", std::ios::binary);
        char line[128];
        for (long i = 0; i < lines; ++i) {
            std::snprintf(line, sizeof line, "2026-02-01 %02ld:%02ld:%02ld,Lab North,21.5,48.,-3.25,OK\r\n",
                          (i / 3600) % 24, (i / 60) % 60, i % 60);
            side << line;
        }
    }
    const int holder = ::open(log.c_str(), O_WRONLY);
    if (flock(holder, LOCK_EX) != 0)
        return 2;
    vornix7::LogWithSideFile sink(log, [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    const double cpuFirst = Cpu();
    sink.Append("2026-02-02 00:00:00,Lab North,21.5,48.,-3.25,OK\r\n"); // the first poll after start
    std::printf("  first poll after the start: CPU %.1f ms\n", (Cpu() - cpuFirst) * 1000);
    const double cpu0 = Cpu();
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < polls; ++i)
        sink.Append("2026-02-02 00:00:01,Lab North,21.5,48.,-3.25,OK\r\n");
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = Cpu() - cpu0;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("%ld lines waiting: CPU %.2f ms per poll, wall %.1f ms per poll, peak RSS %ld MB\n", lines,
                cpu * 1000 / polls, wall * 1000 / polls, u.ru_maxrss / 1024);
    ::close(holder);
    const double cpu1 = Cpu();
    const auto t1 = std::chrono::steady_clock::now();
    sink.Append("2026-02-02 00:00:02,Lab North,21.5,48.,-3.25,OK\r\n"); // the move
    getrusage(RUSAGE_SELF, &u);
    std::printf("  the move: CPU %.0f ms, wall %.0f ms, peak RSS %ld MB\n", (Cpu() - cpu1) * 1000,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count() * 1000,
                u.ru_maxrss / 1024);
    return 0;
}
