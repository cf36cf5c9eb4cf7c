#include "shell/error_report.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "common/runtime_error.h"
#include "log/log_with_side_file.h"

namespace vornix7 {

void WriteErrorLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void WriteRuntimeErrorLine(std::string_view program, const std::string& kind, const std::string& detail)
{
    WriteErrorLine(RunTimeErrorMessage(program, kind, detail) + "\n");
}

void ReportUnreadableSettings(std::string_view program, const std::string& path, const std::string& reason)
{
    WriteErrorLine(std::string(program) + ": cannot read the settings file '" + path + "': " + reason
                   + "; using the defaults\n");
}

std::string LogNoticeLine(std::string_view program, const std::string& previous, const std::string& text)
{
    // Only the counts of a busy spell change without a line.
    const auto busy = [](const std::string& notice) {
        return notice.starts_with(LogWithSideFile::kBusyNotice);
    };
    if (!text.empty() && text != previous && (previous.empty() || !busy(text) || !busy(previous))) {
        return std::string(program) + ": " + text + "\n";
    }
    if (!previous.empty() && text.empty()) {
        return std::string(program) + ": the log file can be written again; the waiting lines are in it\n";
    }
    return {};
}

namespace {

struct Caught {
    std::string kind;
    std::string detail;
};

} // namespace

void RunAtBoundary(const std::function<void()>& body, const ErrorHandler& onError)
{
    std::optional<Caught> caught;
    try {
        if (body) {
            body();
        }
    } catch (const RuntimeError& error) {
        caught = Caught{error.kind(), error.detail()};
    } catch (const std::exception& error) {
        caught = Caught{kInternalError, error.what()};
    } catch (...) {
        caught = Caught{kInternalError, "an exception of unknown type"};
    }
    if (caught) {
        onError(caught->kind, caught->detail);
    }
}

} // namespace vornix7
