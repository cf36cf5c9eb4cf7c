#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "tools/report/report_data.h"

namespace vornix7 {

// The chart library's script and style sheet, written inline into the page.
struct ChartLibrary {
    std::string script;
    std::string style;
};

struct PageInput {
    std::string logName; // as given on the command line
    std::optional<LogSeconds> from;
    std::optional<LogSeconds> to;
    std::optional<ChartLibrary> charts; // none: the page has the tables only
};

// Writes the whole report as one HTML page that needs nothing but a
// browser: no request leaves it. When every chart has drawn, the page's
// script sets data-charts-drawn on <body> to the number of charts, which
// data-charts gives from the start.
void WriteReportPage(const ReportData& data, const PageInput& input, std::ostream& out);

// Text for HTML: markup characters escaped, bytes that are not UTF-8 read as
// Latin-1 (an 8-bit code page's name still shows its letters), control
// bytes shown as U+FFFD.
std::string HtmlText(std::string_view bytes);

// A reading for people: at most two decimals, no trailing zeros ("21.5",
// "48", "-3.25").
std::string ReadingText(double value);

// "2 h 05 min 10 s", "45 s".
std::string DurationText(LogSeconds seconds);

} // namespace vornix7
