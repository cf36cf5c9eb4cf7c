#include "shell/error_report.h"

#include <cstdio>

#include "common/runtime_error.h"

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

} // namespace vornix7
