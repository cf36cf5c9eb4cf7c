#include "logger_process.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "log_lines.h"

namespace vornix7::e2e {

namespace {

// A line of /proc/PID/status such as "SigCgt:" or "VmRSS:", without its
// name; empty when the process or the line is not there.
std::string ProcStatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field)) {
            return line.substr(field.size());
        }
    }
    return {};
}

const char* ProgramFile()
{
    return ProgramUnderTest() == LoggerProgram::Headless ? VORNIX7_HEADLESS_PROGRAM : VORNIX7_LOGGER_PROGRAM;
}

} // namespace

LoggerProgram ProgramUnderTest()
{
    const char* chosen = std::getenv("VORNIX7_E2E_PROGRAM");
    if (chosen == nullptr || std::string_view(chosen).empty() || std::string_view(chosen) == "window") {
        return LoggerProgram::Window;
    }
    if (std::string_view(chosen) == "headless") {
        return LoggerProgram::Headless;
    }
    throw std::invalid_argument(std::string("VORNIX7_E2E_PROGRAM: \"window\" or \"headless\", not ")
                                + chosen);
}

std::string ProgramName()
{
    return std::filesystem::path(ProgramFile()).filename().string();
}

LoggerProcess::LoggerProcess(const std::optional<std::string>& settings) : program_(dir_ / ProgramName())
{
    // A copy, not a link: the program reads its settings from the folder of
    // its own (symlink-resolved) file.
    std::filesystem::copy_file(ProgramFile(), program_);
    if (settings) {
        WriteFile(dir_ / kSettingsName, *settings);
    }
    std::filesystem::create_directory(dir_ / "runtime");
    ::chmod((dir_ / "runtime").c_str(), 0700);
}

void LoggerProcess::Start(const LoggerLaunch& launch)
{
    SpawnOptions options;
    options.program = program_;
    options.args = launch.args;
    options.workingDir = dir_.path();
    options.env = {{"XDG_RUNTIME_DIR", dir_ / "runtime"}, {"LC_ALL", "C"}};
    if (launch.noDisplay) {
        options.unsetEnv = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    } else {
        options.env.emplace_back("QT_QPA_PLATFORM", "offscreen");
    }
    options.env.insert(options.env.end(), launch.env.begin(), launch.env.end());
    options.stdoutPath = dir_ / "logger.out";
    options.stderrPath = dir_ / "logger.err";
    options.closedDescriptors = launch.closedDescriptors;
    startedAt_ = std::chrono::steady_clock::now();
    process_ = std::make_unique<ChildProcess>(options);
}

bool LoggerProcess::WaitUntilSignalsHandled(Millis timeout)
{
    const unsigned long long wanted =
        (1ULL << (SIGTERM - 1)) | (1ULL << (SIGINT - 1)) | (1ULL << (SIGHUP - 1));
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline && process_->Running()) {
        const std::string caught = ProcStatusField(process_->pid(), "SigCgt:");
        if (!caught.empty() && (std::stoull(caught, nullptr, 16) & wanted) == wanted) {
            return true;
        }
        std::this_thread::sleep_for(Millis(2));
    }
    return false;
}

std::string LoggerProcess::Read(const std::string& name) const
{
    return FileExists(dir_ / name) ? ReadFile(dir_ / name) : std::string();
}

std::vector<std::string> LoggerProcess::Lines(const std::string& name) const
{
    return MaskTimes(SplitLines(Read(name)));
}

bool LoggerProcess::WaitForLines(std::size_t count, Millis timeout, const std::string& name)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (WholeLineCount(Read(name)) >= count) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline || !process_->Running()) {
            return WholeLineCount(Read(name)) >= count;
        }
        std::this_thread::sleep_for(Millis(5));
    }
}

std::optional<ExitStatus> LoggerProcess::Stop(int signal, Millis timeout)
{
    process_->Signal(signal);
    return process_->WaitForExit(timeout);
}

std::string LoggerProcess::Stderr() const
{
    return Read("logger.err");
}

std::vector<std::string> LoggerProcess::RuntimeErrors() const
{
    std::vector<std::string> errors;
    std::istringstream text(Stderr());
    std::string line;
    while (std::getline(text, line)) {
        if (line.find("run-time error") != std::string::npos) {
            errors.push_back(line);
        }
    }
    return errors;
}

long LoggerProcess::ResidentKilobytes() const
{
    const std::string rss = ProcStatusField(process_->pid(), "VmRSS:");
    return rss.empty() ? -1 : std::stol(rss);
}

} // namespace vornix7::e2e
