#include "tools/check/check_tool.h"

#include <ostream>
#include <string>
#include <utility>

#include "acquisition/page_fetch.h"
#include "acquisition/poll_result.h"
#include "common/clock.h"
#include "common/runtime_error.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "log/line_sink.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tools/check/settings_check.h"

namespace vornix7 {

namespace {

constexpr const char* kUsage =
    "usage: vornix7-check --ini FILE [PAGE | --failed]...\n"
    "  --ini FILE          print the seven settings as the logger reads them, then one\n"
    "                      'warning: ...' line on standard error per likely mistake\n"
    "                      (a relative log path is judged from this working directory)\n"
    "  --ini FILE PAGE...  print the line the logger would append for each page file\n"
    "                      (an empty file or --failed: a failed poll)\n"
    "exit status: 0 clean, 1 a run-time error, 2 bad usage, 3 warnings only";
constexpr const char* kFailedPoll = "--failed";

class StreamSink final : public LineSink {
public:
    explicit StreamSink(std::ostream& out) : out_(out) {}
    void Append(std::string_view line) override
    {
        out_.write(line.data(), static_cast<std::streamsize>(line.size())).flush();
    }

private:
    std::ostream& out_;
};

void PrintSettings(const SettingsRecord& s, std::ostream& out)
{
    out << "PollInterval=" << s.PollInterval << '\n'
        << "URL=" << s.URL << '\n'
        << "StartMinimized=" << s.StartMinimized << '\n'
        << "HTMLTimeout=" << s.HTMLTimeout << '\n'
        << "UseLogFile=" << s.UseLogFile << '\n'
        << "LogfileName=" << s.LogfileName << '\n'
        << "LastSensor=" << s.LastSensor << '\n';
}

} // namespace

int RunCheckTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() < 2 || args[0] != "--ini") {
        err << kUsage << '\n';
        return 2;
    }
    const std::vector<std::string> pages(args.begin() + 2, args.end());
    try {
        const std::string& iniPath = args[1];
        const IniFile file = IniFile::Load(iniPath);
        const SettingsRecord settings = ReadSettings(file);
        if (pages.empty()) {
            PrintSettings(settings, out);
            out.flush();
            const std::vector<std::string> warnings = SettingsFileWarnings(iniPath, file, settings);
            for (const std::string& line : warnings) {
                err << line << '\n';
            }
            return warnings.empty() ? 0 : 3;
        }
        SensorTable table;
        const SystemClock clock;
        StreamSink sink(out);
        PollResultStore store(settings, table, clock, sink, LocaleTimeSeparator());
        for (const std::string& source : pages) {
            // The page as the fetch would hand it on: the file's bytes, at most as
            // many as a poll keeps; none for --failed.
            std::string page;
            if (source != kFailedPoll) {
                auto read = ReadFileBytes(source, static_cast<std::size_t>(kMaxPageBytes));
                if (!read.ok()) {
                    err << "vornix7-check: cannot read page file '" << source << "'\n" << kUsage << '\n';
                    return 2;
                }
                page = std::move(*read);
            }
            store.StorePollResult(page);
        }
    } catch (const RuntimeError& error) {
        out.flush();
        err << RunTimeErrorMessage(kWindowProgramName, error.kind(), error.detail()) << '\n';
        return 1;
    }
    return 0;
}

} // namespace vornix7
