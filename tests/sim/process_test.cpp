// Runs the built program: its stdout line, signals, exit codes, restarts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "test_client.h"

namespace vornix7::sim {
namespace {

using namespace std::chrono_literals;

class Program {
public:
    explicit Program(std::vector<std::string> args)
    {
        args.insert(args.begin(), VORNIX7_SIM_PROGRAM);
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }

    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            close(out_);
    }

    // Everything printed within `limit`, up to the first newline or EOF.
    std::string FirstLine(std::chrono::milliseconds limit = 5s)
    {
        std::string line;
        const auto until = std::chrono::steady_clock::now() + limit;
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (read(out_, &c, 1) != 1)
                break;
            line += c;
        }
        return line;
    }

    // The exit code, or -1 if it is still running after `limit` or died by a signal.
    int WaitExit(std::chrono::milliseconds limit = 5s)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    void Signal(int number) { kill(pid_, number); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

int PortOf(const std::string& line)
{
    std::smatch match;
    static const std::regex kLine(R"(listening on 127\.0\.0\.1:(\d+)\n)");
    return std::regex_match(line, match, kLine) ? std::stoi(match[1]) : -1;
}

TEST(Program, AnnouncesPortServesAndStopsCleanlyOnSignals)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        Program sim({"--max-seconds", "20", "--mode", "silent"});
        const int port = PortOf(sim.FirstLine());
        ASSERT_GT(port, 0);
        // A held connection must not delay the exit.
        std::thread held(
            [port] { test::Fetch(static_cast<std::uint16_t>(port), "GET / HTTP/1.1\r\n\r\n", 3000); });
        std::this_thread::sleep_for(200ms);
        sim.Signal(signal);
        EXPECT_EQ(sim.WaitExit(2s), 0) << signal;
        held.join();
    }
}

TEST(Program, StopsByItselfAfterMaxSeconds)
{
    Program sim({"--max-seconds", "0.3"});
    ASSERT_GT(PortOf(sim.FirstLine()), 0);
    EXPECT_EQ(sim.WaitExit(3s), 0);
}

TEST(Program, RestartsOnTheSamePortAfterBeingKilled)
{
    int port = 0;
    {
        Program first({"--max-seconds", "20"});
        port = PortOf(first.FirstLine());
        ASSERT_GT(port, 0);
        // Leaves a TIME_WAIT connection on the port.
        ASSERT_NE(test::Fetch(static_cast<std::uint16_t>(port)).bytes.find("<t7>"), std::string::npos);
    }
    EXPECT_EQ(test::Fetch(static_cast<std::uint16_t>(port)).end, test::Reply::End::Failed);
    Program second({"--port", std::to_string(port), "--max-seconds", "20"});
    EXPECT_EQ(PortOf(second.FirstLine()), port);
    EXPECT_NE(test::Fetch(static_cast<std::uint16_t>(port)).bytes.find("<t0>"), std::string::npos);
}

TEST(Program, BadOptionsExitWithUsageError)
{
    Program sim({"--sensors", "99"});
    EXPECT_EQ(sim.FirstLine(1s), "");
    EXPECT_EQ(sim.WaitExit(), 2);
}

} // namespace
} // namespace vornix7::sim
