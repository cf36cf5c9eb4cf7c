#include "tools/report/report_tool.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "common/ascii.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tools/report/report_data.h"
#include "tools/report/report_page.h"
#include "tools/report/xlsx_workbook.h"

namespace vornix7 {

namespace {

constexpr const char* kUsage =
    "usage: vornix7-report LOG... [-o REPORT.html] [--from TIME] [--to TIME]\n"
    "       vornix7-report LOG... --xlsx WORKBOOK.xlsx [--from TIME] [--to TIME]\n";

constexpr const char* kHelp = "Writes one HTML page about a VORNIX7 log: polls, OK and ERROR counts, the\n"
                              "longest offline spell, each sensor's minimum, maximum and mean, and one\n"
                              "chart per sensor. The page needs nothing but a browser. Several logs:\n"
                              "a summary per log, and a line per log in each sensor's chart.\n"
                              "  -o FILE      the page (default for one log: LOG.html; needed for several)\n"
                              "  --from TIME  only polls at or after TIME: YYYY-MM-DD[ hh:mm[:ss]]\n"
                              "  --to TIME    only polls at or before TIME (a date alone: to its end)\n"
                              "  --xlsx FILE  instead of the page, a workbook: a sheet of polls per log\n"
                              "               (date-time, text and number cells) and a summary sheet\n"
                              "The log is read while the logger goes on writing it, without its lock.\n"
                              "A line the same, byte for byte, as one of the 8192 polls before it is a\n"
                              "repeat that a relay sent twice: it is skipped and counted.\n"
                              "Exit status: 0; 3 when lines could not be read (the page is written);\n"
                              "1 when the log cannot be read or the page not written; 2 bad usage.\n";

struct Options {
    std::vector<std::string> logs;
    std::string output;
    std::optional<LogSeconds> from;
    std::optional<LogSeconds> to;
    std::string xlsx; // the workbook, instead of the page
};

// The same path, or another name (a link, "./log") for the same file.
bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    return a == b || std::filesystem::equivalent(a, b, error);
}

// Parses the arguments; an empty text in `problem` means they are good.
Options ParseArgs(const std::vector<std::string>& args, std::string& problem)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "-o" || arg == "--from" || arg == "--to" || arg == "--xlsx") {
            if (!hasValue) {
                problem = arg + " needs a value";
                return options;
            }
            const std::string& value = args[++i];
            if (arg == "-o" || arg == "--xlsx") {
                (arg == "-o" ? options.output : options.xlsx) = value;
                continue;
            }
            const auto time = ParseTimeArgument(value, arg == "--to");
            if (!time) {
                problem = arg + " " + value + ": not a time YYYY-MM-DD[ hh:mm[:ss]]";
                return options;
            }
            (arg == "--from" ? options.from : options.to) = time;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            problem = "unknown option " + arg;
            return options;
        } else {
            options.logs.push_back(arg);
        }
    }
    if (options.logs.empty()) {
        problem = "no log given";
        return options;
    }
    if (!options.xlsx.empty()) {
        if (!options.output.empty()) {
            problem = "-o and --xlsx: a page or a workbook";
        }
        return options;
    }
    if (options.output.empty()) {
        if (options.logs.size() > 1) {
            problem = "several logs need -o PAGE.html";
            return options;
        }
        options.output = options.logs[0] + ".html";
    }
    // Also for the default name: LOG.html may be a link to the log.
    for (const std::string& log : options.logs) {
        if (SameFile(options.output, log)) {
            problem = options.output + ": the page would overwrite the log " + log;
        }
    }
    return options;
}

// The chart library beside the tool; none when a file is missing.
std::optional<ChartLibrary> LoadChartLibrary(const std::filesystem::path& dir, std::ostream& err)
{
    constexpr std::size_t kMaxBytes = 4 << 20;
    // The tool's folder as the system names it: any folder name works.
    const auto script = ReadFileBytesAtSystemPath(dir / kChartScriptFile, kMaxBytes);
    const auto style = ReadFileBytesAtSystemPath(dir / kChartStyleFile, kMaxBytes);
    for (const auto* file : {&script, &style}) {
        if (!file->ok()) {
            err << "warning: the chart library is not there (" << CodePageFromPath(dir / kChartScriptFile)
                << ", " << kChartStyleFile << "): the page has the tables only\n";
            return std::nullopt;
        }
    }
    // Inline, a script must not close its own element.
    for (const auto* file : {&script, &style}) {
        std::string lower = **file;
        std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
        if (lower.find("</script") != std::string::npos || lower.find("</style") != std::string::npos) {
            err << "warning: the chart library closes its own element and cannot be inlined: the page has "
                   "the "
                   "tables only\n";
            return std::nullopt;
        }
    }
    return ChartLibrary{*script, *style};
}

// One log read through, shared and without its lock (up to `maxBytes`
// bytes when given): its report data and the bytes read. When it cannot be
// read, says why on `err` and gives nothing.
struct LogReading {
    std::int64_t bytes = 0;
    ReportData data;
};

std::optional<LogReading> ReadLog(const std::string& path, std::optional<LogSeconds> from,
                                  std::optional<LogSeconds> to, std::size_t maxSteps, std::ostream& err,
                                  std::optional<std::int64_t> maxBytes = std::nullopt,
                                  ReportBuilder::RecordSink onRecord = nullptr)
{
    ReportBuilder builder(from, to, maxSteps, std::move(onRecord));
    LogReading reading;
    const auto read = ReadFileInChunks(path, [&](std::string_view bytes) {
        if (maxBytes) {
            bytes = bytes.substr(
                0, static_cast<std::size_t>(std::max<std::int64_t>(*maxBytes - reading.bytes, 0)));
        }
        reading.bytes += static_cast<std::int64_t>(bytes.size());
        builder.AddBytes(bytes);
    });
    if (!read.ok()) {
        err << "vornix7-report: " << path << ": " << read.error().reason << "\n";
        return std::nullopt;
    }
    reading.data = builder.Finish();
    return reading;
}

// Names each line of the log that could not be read on `err`, as
// "LOG:LINE: reason" (the first few, then how many more), then the exact
// repeats skipped: the first few by line, and "LOG: Exact repeats
// skipped: N".
void NameUnreadableLines(const std::string& path, const ReportData& data, std::ostream& err)
{
    for (const UnreadableLine& line : data.firstUnreadable) {
        err << path << ":" << line.number << ": " << line.reason << "\n";
    }
    if (data.unreadable > static_cast<std::int64_t>(data.firstUnreadable.size())) {
        err << path << ": " << data.unreadable - static_cast<std::int64_t>(data.firstUnreadable.size())
            << " more lines could not be read\n";
    }
    for (const RepeatedLine& line : data.firstRepeats) {
        err << path << ":" << line.number << ": exact repeat of line " << line.earlier << ", skipped\n";
    }
    if (data.exactRepeats > 0) {
        err << path << ": Exact repeats skipped: " << data.exactRepeats << "\n";
    }
}

} // namespace

int RunReportTool(const std::vector<std::string>& args, const std::filesystem::path& libraryDir,
                  std::ostream& out, std::ostream& err)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage << kHelp;
        return 0;
    }
    std::string problem;
    const Options options = ParseArgs(args, problem);
    if (!problem.empty()) {
        err << "vornix7-report: " << problem << "\n" << kUsage;
        return 2;
    }
    if (options.from && options.to && *options.from > *options.to) {
        err << "vornix7-report: --from is after --to\n" << kUsage;
        return 2;
    }

    if (!options.xlsx.empty()) {
        return WriteXlsxReport(options.logs, options.xlsx, options.from, options.to, out, err);
    }

    std::vector<PageLog> logs;
    std::int64_t polls = 0;
    std::int64_t okPolls = 0;
    std::int64_t errorPolls = 0;
    std::int64_t unreadable = 0;
    std::int64_t repeats = 0;
    for (const std::string& log : options.logs) {
        std::optional<LogReading> reading = ReadLog(log, options.from, options.to, 1000, err);
        if (!reading) {
            return 1;
        }
        const ReportData& data = reading->data;
        NameUnreadableLines(log, data, err);
        polls += data.polls;
        okPolls += data.okPolls;
        errorPolls += data.errorPolls;
        unreadable += data.unreadable;
        repeats += data.exactRepeats;
        logs.push_back({log, std::move(reading->data)});
    }

    std::ostringstream page;
    const std::size_t charts =
        WriteReportPage(logs, options.from, options.to, LoadChartLibrary(libraryDir, err), page);
    if (const auto written = ReplaceFileWith(options.output, page.view()); !written.ok()) {
        err << "vornix7-report: " << options.output << ": cannot be written: " << written.error().reason
            << "\n";
        return 1;
    }
    out << options.output << ": ";
    if (logs.size() > 1) {
        out << logs.size() << " logs, ";
    }
    out << polls << " polls (" << okPolls << " OK, " << errorPolls << " ERROR), " << charts << " charts";
    if (unreadable > 0) {
        out << ", " << unreadable << " lines not read";
    }
    if (repeats > 0) {
        out << ", " << repeats << " exact repeats skipped";
    }
    out << "\n";
    return unreadable > 0 ? 3 : 0;
}

int WriteXlsxReport(const std::vector<std::string>& logs, const std::string& output,
                    std::optional<LogSeconds> from, std::optional<LogSeconds> to, std::ostream& out,
                    std::ostream& err, std::int64_t rowsPerSheet)
{
    for (const std::string& log : logs) {
        if (SameFile(output, log)) {
            err << "vornix7-report: the workbook would overwrite the log " << log << "\n";
            return 2;
        }
    }
    // First pass: every log readable, and each one's width.
    std::vector<LogReading> first;
    first.reserve(logs.size());
    for (const std::string& log : logs) {
        std::optional<LogReading> reading = ReadLog(log, from, to, 2, err);
        if (!reading) {
            return 1;
        }
        first.push_back(std::move(*reading));
    }

    XlsxWorkbook workbook(output, rowsPerSheet);
    if (!workbook.Started()) {
        err << "vornix7-report: " << output << ": cannot be written: " << workbook.StartProblem() << "\n";
        return 1;
    }
    std::int64_t polls = 0;
    std::int64_t unreadable = 0;
    for (std::size_t i = 0; i < logs.size(); ++i) {
        const ReportData& shape = first[i].data;
        std::size_t deviceChars = 0;
        for (const auto& device : shape.devices) {
            deviceChars = std::max(deviceChars, device.first.size());
        }
        workbook.BeginLog(logs.size() == 1 ? "Polls" : "Polls " + std::to_string(i + 1), shape.sensors.size(),
                          deviceChars);
        // The second pass up to the same byte: the summary counts exactly
        // the rows written.
        const auto pass = ReadLog(logs[i], from, to, 1000, err, first[i].bytes,
                                  [&workbook](const LogRecord& record) { workbook.AddPoll(record); });
        if (!pass) {
            return 1;
        }
        const ReportData& data = pass->data;
        NameUnreadableLines(logs[i], data, err);
        workbook.EndLog(logs[i], data, from, to);
        polls += data.polls;
        unreadable += data.unreadable;
    }
    const std::string problem = workbook.Close();
    if (!problem.empty()) {
        err << "vornix7-report: " << output << ": cannot be written: " << problem << "\n";
        return 1;
    }
    const std::size_t sheets = workbook.PollSheets();
    out << output << ": " << polls << " polls in " << sheets << (sheets == 1 ? " sheet" : " sheets")
        << " of polls";
    if (unreadable > 0) {
        out << ", " << unreadable << " lines not read";
    }
    out << "\n";
    return unreadable > 0 ? 3 : 0;
}

} // namespace vornix7
