#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "tools/report/xlsx_workbook.h"

namespace vornix7 {

// vornix7-report LOG... [-o REPORT.html] [--from TIME] [--to TIME]
// vornix7-report LOG... --xlsx WORKBOOK.xlsx [--from TIME] [--to TIME]
// (the workbook instead of the page: WriteXlsxReport below)
// Reads the logs (never taking their lock, with the logger appending on)
// and writes one self-contained HTML page: a summary table and one chart
// per sensor (several logs: a summary per log and a line per log in each
// chart; -o is needed then). The page is put in place whole, never written
// through a link, and never over a log. The chart library is read from
// `libraryDir` (the tool's own folder); without it the page has the tables
// only, after a warning.
// Names each line it cannot read on `err` as "LOG:LINE: reason".
// Returns the exit status: 0, 1 when the log cannot be read or the page not
// written, 2 for bad usage, 3 when lines could not be read (the page is
// written all the same).
int RunReportTool(const std::vector<std::string>& args, const std::filesystem::path& libraryDir,
                  std::ostream& out, std::ostream& err);

// vornix7-report LOG... --xlsx FILE: reads each log (as the page does:
// shared, never locked) and writes the workbook. Names unreadable lines on
// `err` as "LOG:LINE: reason". Exit status as the tool's.
int WriteXlsxReport(const std::vector<std::string>& logs, const std::string& output,
                    std::optional<LogSeconds> from, std::optional<LogSeconds> to, std::ostream& out,
                    std::ostream& err, std::int64_t rowsPerSheet = kXlsxRowsPerSheet);

// The chart library's files, beside the tool.
inline constexpr const char* kChartScriptFile = "uPlot.iife.min.js";
inline constexpr const char* kChartStyleFile = "uPlot.min.css";

} // namespace vornix7
