#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vornix7::e2e {

std::string Describe(const ExitStatus& status)
{
    return status.exited
               ? "exit status " + std::to_string(status.code)
               : "killed by signal " + std::to_string(status.signal) + " (" + strsignal(status.signal) + ")";
}

void PrintTo(const ExitStatus& status, std::ostream* out)
{
    *out << Describe(status);
}

namespace {

std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const auto& [name, value] : changes) {
            replaced = replaced || text.starts_with(name + "=");
        }
        if (!replaced) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

void Check(int error, const char* what)
{
    if (error != 0) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(error));
    }
}

} // namespace

ChildProcess::ChildProcess(const SpawnOptions& options)
{
    std::vector<std::string> argv{options.program};
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    std::vector<std::string> envp = Environment(options.env);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(envp);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    Check(posix_spawn_file_actions_init(&actions), "posix_spawn_file_actions_init");
    Check(posix_spawnattr_init(&attributes), "posix_spawnattr_init");
    // The child must not inherit whatever the test runner did to signals:
    // the tests depend on SIGTERM and SIGINT reaching the program as usual.
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGTERM, SIGINT, SIGPIPE, SIGHUP}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!options.workingDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDir.c_str());
    }
    const int error = posix_spawn(&pid_, options.program.c_str(), &actions, &attributes, argvPointers.data(),
                                  envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    Check(error, ("cannot start " + options.program).c_str());
}

ChildProcess::~ChildProcess()
{
    Kill();
}

void ChildProcess::Signal(int signal)
{
    if (!status_) {
        ::kill(pid_, signal);
    }
}

bool ChildProcess::Reap(bool block)
{
    if (status_) {
        return true;
    }
    int raw = 0;
    pid_t result = 0;
    do {
        result = ::waitpid(pid_, &raw, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result != pid_) {
        return false;
    }
    status_ = WIFEXITED(raw) ? ExitStatus{true, WEXITSTATUS(raw), 0} : ExitStatus{false, 0, WTERMSIG(raw)};
    return true;
}

std::optional<ExitStatus> ChildProcess::WaitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // Short naps: the quick-end tests measure this wait.
    while (!Reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return status_;
}

bool ChildProcess::Running()
{
    return !Reap(false);
}

void ChildProcess::Kill()
{
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        Reap(true);
    }
}

} // namespace vornix7::e2e
