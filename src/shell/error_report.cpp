#include "shell/error_report.h"

#include <cstdio>

#include "common/runtime_error.h"
#include "log/log_with_side_file.h"

namespace vornix7 {

namespace {

void WriteLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace

void WriteRuntimeErrorLine(const std::string& kind, const std::string& detail)
{
    WriteLine(RunTimeErrorMessage(kind, detail) + "\n");
}

void ReportUnreadableSettings(const std::string& path, const std::string& reason)
{
    WriteLine("VORNIX7_Logger: cannot read the settings file '" + path + "': " + reason
              + "; using the defaults\n");
}

std::string LogNoticeOnStderr::LineFor(const std::string& previous, const std::string& text)
{
    // Only the counts of a busy spell change without a line.
    const auto busy = [](const std::string& notice) {
        return notice.starts_with(LogWithSideFile::kBusyNotice);
    };
    if (!text.empty() && text != previous && (previous.empty() || !busy(text) || !busy(previous))) {
        return "VORNIX7_Logger: " + text + "\n";
    }
    if (!previous.empty() && text.empty()) {
        return "VORNIX7_Logger: the log file can be written again; the waiting lines are in it\n";
    }
    return {};
}

void LogNoticeOnStderr::Show(const std::string& text)
{
    const std::string line = LineFor(previous_, text);
    if (!line.empty()) {
        WriteLine(line);
    }
    previous_ = text;
}

} // namespace vornix7
