#include "child_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
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

bool Names(const std::string& entry, const std::string& name)
{
    return entry.starts_with(name) && entry.size() > name.size() && entry[name.size()] == '=';
}

std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& changes,
                                     const std::vector<std::string>& removals)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const auto& [name, value] : changes) {
            replaced = replaced || Names(text, name);
        }
        for (const auto& name : removals) {
            replaced = replaced || Names(text, name);
        }
        if (!replaced) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        result.push_back(name);
        result.back() += '=';
        result.back() += value;
    }
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Runs in the forked child, so only async-signal-safe calls: sets up the
// descriptors, directory and signals, then becomes the program. On failure
// the errno goes back through `report` and the child ends.
[[noreturn]] void BecomeProgram(const SpawnOptions& options, char* const* argv, char* const* envp, int report,
                                pid_t parent)
{
    // If the test itself is killed (a ctest time-out, say), its children
    // must not live on: they go with it.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) {
        ::_exit(127);
    }
    // The child must not inherit whatever the test runner did to signals:
    // the tests depend on SIGTERM and SIGINT reaching the program as usual.
    for (int signal : {SIGTERM, SIGINT, SIGPIPE, SIGHUP}) {
        ::signal(signal, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in >= 0 && out >= 0 && err >= 0 && ::dup2(in, STDIN_FILENO) >= 0 && ::dup2(out, STDOUT_FILENO) >= 0
        && ::dup2(err, STDERR_FILENO) >= 0
        && (options.workingDir.empty() || ::chdir(options.workingDir.c_str()) == 0)) {
        for (const int fd : options.closedDescriptors) {
            ::close(fd);
        }
        ::execve(argv[0], argv, envp);
    }
    const int error = errno;
    (void)!::write(report, &error, sizeof error);
    ::_exit(127);
}

} // namespace

ChildProcess::ChildProcess(const SpawnOptions& options)
{
    std::vector<std::string> argv{options.program};
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    std::vector<std::string> envp = Environment(options.env, options.unsetEnv);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(envp);

    // Closed by a successful exec, so reading it gives either the child's
    // errno or the end of the pipe.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(report[0]);
        BecomeProgram(options, argvPointers.data(), envPointers.data(), report[1], parent);
    }
    const int forkError = errno;
    ::close(report[1]);
    int childError = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (pid_ < 0) {
        throw std::runtime_error(std::string("fork: ") + std::strerror(forkError));
    }
    if (got == sizeof childError) {
        Reap(true);
        throw std::runtime_error("cannot start " + options.program + ": " + std::strerror(childError));
    }
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
