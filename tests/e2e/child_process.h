#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vornix7::e2e {

// How a child ended.
struct ExitStatus {
    bool exited = false; // false: killed by `signal`
    int code = 0;
    int signal = 0;

    bool operator==(const ExitStatus&) const = default;
    static ExitStatus Code(int code) { return {true, code, 0}; }
};
std::string Describe(const ExitStatus& status);
void PrintTo(const ExitStatus& status, std::ostream* out);

struct SpawnOptions {
    std::string program;
    std::vector<std::string> args;
    std::string workingDir;
    // Added to (or replacing in) this process's environment.
    std::vector<std::pair<std::string, std::string>> env;
    // Removed from it.
    std::vector<std::string> unsetEnv;
    std::string stdoutPath = "/dev/null";
    std::string stderrPath = "/dev/null";
    // Closed in the child before it becomes the program (`>&-`).
    std::vector<int> closedDescriptors;
};

// A program started with fork and exec. The object owns the process: if it
// is still running when the object goes (a failed assertion, say), it is
// killed with SIGKILL and reaped, so no test leaves a process behind; and
// should the test process itself be killed, the child gets SIGKILL too.
class ChildProcess {
public:
    explicit ChildProcess(const SpawnOptions& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    void Signal(int signal);

    // The exit status once the process has ended within `timeout`.
    std::optional<ExitStatus> WaitForExit(std::chrono::milliseconds timeout);

    // True while the process has not ended (it is reaped if it has).
    bool Running();

    // SIGKILL and reap; harmless once the process has ended.
    void Kill();

private:
    bool Reap(bool block);

    pid_t pid_ = -1;
    std::optional<ExitStatus> status_;
};

} // namespace vornix7::e2e
