#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vornix7 {

// vornix7-report LOG [-o REPORT.html] [--from TIME] [--to TIME]
// vornix7-report LOG... --xlsx WORKBOOK.xlsx [--from TIME] [--to TIME]
// (the workbook instead of the page: tools/report/xlsx_workbook.h)
// Reads the log (never taking its lock, with the logger appending on) and
// writes one self-contained HTML page: a summary table and one chart per
// sensor. The chart library is read from `libraryDir` (the tool's own
// folder); without it the page has the tables only, after a warning.
// Names each line it cannot read on `err` as "LOG:LINE: reason".
// Returns the exit status: 0, 1 when the log cannot be read or the page not
// written, 2 for bad usage, 3 when lines could not be read (the page is
// written all the same).
int RunReportTool(const std::vector<std::string>& args, const std::string& libraryDir, std::ostream& out,
                  std::ostream& err);

// The chart library's files, beside the tool.
inline constexpr const char* kChartScriptFile = "uPlot.iife.min.js";
inline constexpr const char* kChartStyleFile = "uPlot.min.css";

} // namespace vornix7
