#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/report/report_data.h"

namespace vornix7 {

// The chart library's script and style sheet, written inline into the page.
struct ChartLibrary {
    std::string script;
    std::string style;
};

// One log on the page.
struct PageLog {
    std::string name; // as given on the command line
    ReportData data;
};

// Writes the whole report as one HTML page that needs nothing but a
// browser: no request leaves it. When every chart has drawn, the page's
// script sets data-charts-drawn on <body> to the number of charts, which
// data-charts gives from the start.
// One log: its summary and one chart per sensor. Several: a summary per
// log (element ids prefixed "logK-", K from 1) and one chart per sensor
// with a line per log, each log in the same colour and under its name in
// every chart, on one time axis. `from` and `to`: the time range asked for.
// Without the chart `library` the page has the tables only. Returns the
// number of charts.
std::size_t WriteReportPage(const std::vector<PageLog>& logs, std::optional<LogSeconds> from,
                            std::optional<LogSeconds> to, const std::optional<ChartLibrary>& library,
                            std::ostream& out);

// Text for HTML: markup characters escaped, bytes that are not UTF-8 read as
// Latin-1 (an 8-bit code page's name still shows its letters), control
// bytes shown as U+FFFD.
std::string HtmlText(std::string_view bytes);

} // namespace vornix7
