#include "tools/report/report_page.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "common/control_bytes.h"
#include "common/utf8.h"
#include "tools/report/utf8_text.h"

namespace vornix7 {

namespace {

std::string Number(double value)
{
    std::array<char, 64> buffer{};
    const int n = std::snprintf(buffer.data(), buffer.size(), "%.12g", value);
    return std::string(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

// A reading for people: at most two decimals, no trailing zeros ("21.5",
// "48", "-3.25").
std::string ReadingText(double value)
{
    if (!std::isfinite(value)) {
        return "-";
    }
    std::array<char, 400> buffer{};
    const int n = std::snprintf(buffer.data(), buffer.size(), "%.2f", value);
    std::string text(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text == "-0" ? "0" : text;
}

// "2 h 05 min 10 s", "45 s".
std::string DurationText(LogSeconds seconds)
{
    std::array<char, 96> buffer{};
    const long long days = seconds / 86400;
    const long long hours = seconds / 3600 % 24;
    const long long minutes = seconds / 60 % 60;
    const long long secs = seconds % 60;
    int n = 0;
    if (days > 0) {
        n = std::snprintf(buffer.data(), buffer.size(), "%lld d %02lld h %02lld min %02lld s", days, hours,
                          minutes, secs);
    } else if (hours > 0) {
        n = std::snprintf(buffer.data(), buffer.size(), "%lld h %02lld min %02lld s", hours, minutes, secs);
    } else if (minutes > 0) {
        n = std::snprintf(buffer.data(), buffer.size(), "%lld min %02lld s", minutes, secs);
    } else {
        n = std::snprintf(buffer.data(), buffer.size(), "%lld s", secs);
    }
    return std::string(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string TimeText(const std::optional<LogSeconds>& time)
{
    return time ? FormatLogSeconds(*time) : "-";
}

void Row(std::ostream& out, std::string_view id, std::string_view label, const std::string& value)
{
    out << "<tr><th>" << label << "</th><td id=\"" << id << "\">" << value << "</td></tr>\n";
}

const char* const kStyle = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222;background:#fff}
h1{font-size:1.4em;margin:0 0 .2em}
.range{color:#555;margin:0 0 1em}
table{border-collapse:collapse;margin:0 0 1.2em}
th,td{border:1px solid #ccc;padding:.2em .6em;text-align:left}
td.n{text-align:right;font-variant-numeric:tabular-nums}
.note{color:#555;max-width:60em}
.warn{color:#a40}
.chart{margin:0 0 .8em}
.swatch{display:inline-block;width:.9em;height:.9em;margin-right:.4em;vertical-align:-.05em}
)";

// The lines' colours, one per log, the same in every chart.
const char* const kColours[] = {"#1f6feb", "#d55e00", "#009e73", "#cc79a7", "#e69f00",
                                "#56b4e9", "#6e6e6e", "#8c564b", "#000000", "#b5b500"};

std::string Colour(std::size_t log)
{
    return kColours[log % std::size(kColours)];
}

// Draws each chart, shades the offline spells under the lines, keeps the
// charts' cursors and zoom together, and sets the mark once all have drawn.
// Several logs: a line per log in its colour, joined on one time axis.
const char* const kScript = R"(
(function () {
  var body = document.body;
  var box = document.getElementById('charts');
  var D = JSON.parse(document.getElementById('report-data').textContent);
  // Left standing where the chart library cannot run (Internet Explorer).
  var note = document.getElementById('charts-missing');
  if (note && (D.sensors === 0 || typeof uPlot !== 'undefined')) note.parentNode.removeChild(note);
  if (D.sensors === 0) { body.setAttribute('data-charts-drawn', '0'); return; }
  if (typeof uPlot === 'undefined') { body.setAttribute('data-charts-drawn', 'none'); return; }
  var several = D.logs.length > 1;
  var drawn = 0, plots = [], syncing = false;
  function shader(logs) {
    return function (u) {
      var ctx = u.ctx, b = u.bbox;
      ctx.save();
      logs.forEach(function (log) {
        ctx.fillStyle = several ? log.color : 'rgb(220, 50, 47)';
        ctx.globalAlpha = several ? 0.12 : 0.15;
        for (var k = 0; k < log.off.length; k++) {
          var x0 = Math.max(u.valToPos(log.off[k][0], 'x', true), b.left);
          var x1 = Math.min(u.valToPos(log.off[k][1], 'x', true), b.left + b.width);
          if (x1 >= b.left && x0 <= b.left + b.width) {
            ctx.fillRect(x0, b.top, Math.max(x1 - x0, 2), b.height);
          }
        }
      });
      ctx.restore();
    };
  }
  function markDrawn(u) {
    if (u.v7drawn) return;
    u.v7drawn = true;
    drawn++;
    if (drawn === D.sensors) body.setAttribute('data-charts-drawn', String(drawn));
  }
  function zoomAll(u, key) {
    if (key !== 'x' || syncing) return;
    syncing = true;
    for (var k = 0; k < plots.length; k++) {
      if (plots[k] !== u) plots[k].setScale('x', {min: u.scales.x.min, max: u.scales.x.max});
    }
    syncing = false;
  }
  function width() { return Math.max(box.clientWidth - 10, 300); }
  // Times as the log writes them, 24-hour, whatever the browser's locale.
  function two(n) { return (n < 10 ? '0' : '') + n; }
  function dateOf(d) { return d.getUTCFullYear() + '-' + two(d.getUTCMonth() + 1) + '-' + two(d.getUTCDate()); }
  function timeOf(d, seconds) {
    return two(d.getUTCHours()) + ':' + two(d.getUTCMinutes()) + (seconds ? ':' + two(d.getUTCSeconds()) : '');
  }
  function axisTimes(u, splits, ax, space, incr) {
    return splits.map(function (t, k) {
      var d = new Date(t * 1e3);
      if (incr >= 86400) return dateOf(d);
      var newDay = k === 0 || new Date(splits[k - 1] * 1e3).getUTCDate() !== d.getUTCDate();
      return timeOf(d, incr < 60) + (newDay ? '\n' + dateOf(d) : '');
    });
  }
  function cursorTime(u, t) { return t == null ? '--' : dateOf(new Date(t * 1e3)) + ' ' + timeOf(new Date(t * 1e3), true); }
  for (var i = 0; i < D.sensors; i++) {
    var div = document.createElement('div');
    div.className = 'chart';
    div.id = 'chart-' + i;
    box.appendChild(div);
    // The logs that have this sensor; a missing point of one log between
    // two of another is skipped (undefined), a break stays a break (null).
    var logs = D.logs.filter(function (log) { return log.charts.length > i; });
    var tables = logs.map(function (log) { return [log.charts[i].x, log.charts[i].y]; });
    var data = tables.length === 1 ? tables[0] : uPlot.join(tables);
    var series = [{value: cursorTime}];
    logs.forEach(function (log) {
      series.push({label: several ? log.label : 't' + i, stroke: log.color, width: 1, spanGaps: false});
    });
    var opts = {
      title: 't' + i, width: width(), height: 180,
      tzDate: function (ts) { return uPlot.tzDate(new Date(ts * 1e3), 'Etc/UTC'); },
      cursor: {sync: {key: 'vornix7'}},
      scales: {x: {time: true, min: D.from, max: D.to}},
      legend: {show: true},
      axes: [{values: axisTimes, space: 70}, {}],
      series: series,
      hooks: {drawClear: [shader(logs)], draw: [markDrawn], setScale: [zoomAll]}
    };
    plots.push(new uPlot(opts, data, div));
  }
  window.addEventListener('resize', function () {
    for (var k = 0; k < plots.length; k++) plots[k].setSize({width: width(), height: 180});
  });
})();
)";

// Text for a JSON string inside a <script> element: UTF-8 as in HtmlText,
// and nothing that could end the element.
std::string JsonText(std::string_view bytes)
{
    const auto appendAscii = [](std::string& out, char c) {
        if (IsControlByte(c, ControlBytes::kAll) || c == '"' || c == '\\' || c == '<' || c == '>'
            || c == '&') {
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x", static_cast<unsigned>(c));
            out += escaped.data();
        } else {
            out += c;
        }
    };
    return "\"" + Utf8Text(bytes, false, appendAscii) + "\"";
}

std::size_t SensorCount(const std::vector<PageLog>& logs)
{
    std::size_t count = 0;
    for (const PageLog& log : logs) {
        count = std::max(count, log.data.charts.size());
    }
    return count;
}

// The time range of all logs together.
std::pair<std::optional<LogSeconds>, std::optional<LogSeconds>> TimeRange(const std::vector<PageLog>& logs)
{
    std::optional<LogSeconds> first;
    std::optional<LogSeconds> last;
    for (const PageLog& log : logs) {
        if (log.data.first) {
            first = std::min(*log.data.first, first.value_or(*log.data.first));
            last = std::max(*log.data.last, last.value_or(*log.data.last));
        }
    }
    return {first, last};
}

void WriteData(const std::vector<PageLog>& logs, std::ostream& out)
{
    // Numbers and the logs' names, escaped.
    const auto [first, last] = TimeRange(logs);
    out << "{\"from\":" << (first ? std::to_string(*first) : "null")
        << ",\"to\":" << (last ? std::to_string(*last == *first ? *last + 1 : *last) : "null")
        << ",\"sensors\":" << SensorCount(logs) << ",\"logs\":[";
    for (std::size_t n = 0; n < logs.size(); ++n) {
        const ReportData& data = logs[n].data;
        out << (n ? "," : "") << "{\"label\":" << JsonText(logs[n].name) << ",\"color\":\"" << Colour(n)
            << "\",\"off\":[";
        for (std::size_t k = 0; k < data.shadedSpells.size(); ++k) {
            out << (k ? "," : "") << '[' << data.shadedSpells[k].first << ',' << data.shadedSpells[k].second
                << ']';
        }
        out << "],\"charts\":[";
        for (std::size_t i = 0; i < data.charts.size(); ++i) {
            const auto& points = data.charts[i];
            out << (i ? "," : "") << "{\"x\":[";
            for (std::size_t k = 0; k < points.size(); ++k) {
                out << (k ? "," : "") << points[k].time;
            }
            out << "],\"y\":[";
            for (std::size_t k = 0; k < points.size(); ++k) {
                out << (k ? "," : "") << (points[k].value ? Number(*points[k].value) : "null");
            }
            out << "]}";
        }
        out << "]}";
    }
    out << "]}";
}

std::string DeviceHeading(const ReportData& data)
{
    if (data.devices.empty()) {
        return "(no device name)";
    }
    std::string heading;
    for (std::size_t i = 0; i < data.devices.size() && i < 3; ++i) {
        heading += (i ? ", " : "") + HtmlText(data.devices[i].first);
    }
    if (data.devices.size() > 3 || data.otherDevicePolls > 0) {
        heading += " and others";
    }
    return heading;
}

std::string SpellText(const OfflineSpell& spell)
{
    return DurationText(spell.duration) + " from " + FormatLogSeconds(spell.start) + " to "
           + FormatLogSeconds(spell.end) + " (" + std::to_string(spell.failedPolls) + " failed polls"
           + (spell.clockSetBack > 0 ? ", the clock set back meanwhile" : "")
           + (spell.ongoing ? ", still offline at the log's end)" : ")");
}

// A log's summary, devices, sensors and lines left out; the ids of the
// table cells begin with `id`, the headings are of level `h`. Several logs
// give each log's chart step too.
void WriteSummary(const ReportData& data, const std::string& id, const char* h, std::ostream& out)
{
    const bool stepRow = !id.empty();
    const auto row = [&](const char* name, std::string_view label, const std::string& value) {
        Row(out, id + name, label, value);
    };
    out << "<table>\n";
    row("polls", "Polls", std::to_string(data.polls));
    row("ok", "OK", std::to_string(data.okPolls));
    row("error", "ERROR (device offline)", std::to_string(data.errorPolls));
    row("first", "First poll", TimeText(data.first));
    row("last", "Last poll", TimeText(data.last));
    row("spells", "Offline spells", std::to_string(data.spells));
    row("longest", "Longest offline spell", data.longestSpell ? SpellText(*data.longestSpell) : "none");
    if (data.farOffPolls > 0) {
        row("far-off", "Far-off time stamps",
            std::to_string(data.farOffPolls) + " polls from " + TimeText(data.farOffFirst) + " to "
                + TimeText(data.farOffLast) + " (a clock not set?): counted, but not in the time range or "
                + "the charts");
    }
    row("unreadable", "Lines not read", std::to_string(data.unreadable));
    row("repeats", "Exact repeats skipped", std::to_string(data.exactRepeats));
    if (stepRow) {
        row("step", "Chart time step", DurationText(data.stepSeconds));
    }
    out << "</table>\n";

    if (!data.devices.empty()) {
        out << "<table id=\"" << id << "devices\">\n<tr><th>Device name</th><th>Polls</th></tr>\n";
        for (const auto& [name, polls] : data.devices) {
            out << "<tr><td>" << HtmlText(name) << "</td><td class=\"n\">" << polls << "</td></tr>\n";
        }
        if (data.otherDevicePolls > 0) {
            out << "<tr><td>(other names)</td><td class=\"n\">" << data.otherDevicePolls << "</td></tr>\n";
        }
        out << "</table>\n";
    }

    out << "<" << h << ">Readings</" << h << ">\n<table id=\"" << id << "sensors\">\n"
        << "<tr><th>Sensor</th><th>Readings</th><th>Minimum</th><th>Maximum</th><th>Mean</th></tr>\n";
    for (std::size_t i = 0; i < data.sensors.size(); ++i) {
        const SensorSummary& s = data.sensors[i];
        const bool any = s.count > 0;
        out << "<tr id=\"" << id << "sensor-" << i << "\"><td>t" << i << "</td><td class=\"n\">" << s.count
            << "</td><td class=\"n\">" << (any ? ReadingText(s.min) : "-") << "</td><td class=\"n\">"
            << (any ? ReadingText(s.max) : "-") << "</td><td class=\"n\">"
            << (any ? ReadingText(s.Mean()) : "-") << "</td></tr>\n";
    }
    out << "</table>\n";

    if (data.unreadable > 0 || data.exactRepeats > 0 || data.halfLineAtEnd) {
        out << "<" << h << ">Lines left out</" << h << ">\n<ul class=\"warn\" id=\"" << id << "left-out\">\n";
        for (const UnreadableLine& line : data.firstUnreadable) {
            out << "<li>line " << line.number << ": " << HtmlText(line.reason) << "</li>\n";
        }
        if (data.unreadable > static_cast<std::int64_t>(data.firstUnreadable.size())) {
            out << "<li>and " << data.unreadable - static_cast<std::int64_t>(data.firstUnreadable.size())
                << " more</li>\n";
        }
        for (const RepeatedLine& line : data.firstRepeats) {
            out << "<li>line " << line.number << ": exact repeat of line " << line.earlier
                << ", skipped</li>\n";
        }
        if (data.exactRepeats > static_cast<std::int64_t>(data.firstRepeats.size())) {
            out << "<li>and " << data.exactRepeats - static_cast<std::int64_t>(data.firstRepeats.size())
                << " more exact repeats</li>\n";
        }
        if (data.halfLineAtEnd) {
            out << "<li>the last line has no line end yet (being written)</li>\n";
        }
        out << "</ul>\n";
    }
}

} // namespace

std::string HtmlText(std::string_view bytes)
{
    return Utf8Text(bytes, false, [](std::string& out, char c) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (IsControlByte(c, ControlBytes::kAllButTab)) {
                AppendUtf8(out, 0xFFFD);
            } else {
                out += c;
            }
        }
    });
}

std::size_t WriteReportPage(const std::vector<PageLog>& logs, std::optional<LogSeconds> from,
                            std::optional<LogSeconds> to, const std::optional<ChartLibrary>& library,
                            std::ostream& out)
{
    const bool several = logs.size() > 1;
    const std::string devices =
        several ? std::to_string(logs.size()) + " logs" : DeviceHeading(logs.at(0).data);
    const std::size_t charts = library ? SensorCount(logs) : 0;
    const auto [first, last] = TimeRange(logs);
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:\">\n"
        << "<title>VORNIX7 log: " << devices << "</title>\n<style>" << kStyle;
    if (library) {
        out << library->style;
    }
    out << "</style>\n</head>\n<body data-charts=\"" << charts << "\">\n";
    out << "<h1>VORNIX7 log: " << devices << "</h1>\n";
    out << "<p class=\"range\">" << TimeText(first) << " to " << TimeText(last);
    if (!several) {
        out << " &middot; " << HtmlText(logs[0].name);
    }
    if (from || to) {
        out << " &middot; polls from " << (from ? FormatLogSeconds(*from) : "the start") << " to "
            << (to ? FormatLogSeconds(*to) : "the end");
    }
    out << "</p>\n";

    if (several) {
        for (std::size_t n = 0; n < logs.size(); ++n) {
            const std::string id = "log" + std::to_string(n + 1) + "-";
            out << "<h2 id=\"" << id << "name\"><span class=\"swatch\" style=\"background:" << Colour(n)
                << "\"></span>" << HtmlText(logs[n].name) << ": " << DeviceHeading(logs[n].data) << "</h2>\n";
            WriteSummary(logs[n].data, id, "h3", out);
        }
    } else {
        out << "<h2>Summary</h2>\n";
        WriteSummary(logs[0].data, "", "h2", out);
    }

    out << "<h2>Charts</h2>\n";
    if (!library) {
        out << "<p class=\"warn\">This build of vornix7-report has no chart library: tables only.</p>\n";
    } else {
        out << "<p class=\"note\">One chart per sensor"
            << (several ? ", one line per log in its colour above, on one time axis" : "")
            << ", times as the log gives them. Each time step of "
            << (several ? "a log (in its summary)" : DurationText(logs[0].data.stepSeconds))
            << " shows its lowest and highest reading; the line breaks at failed polls, where a poll had no "
               "such reading, and where no poll came for more than "
            << kGapIntervals
            << " typical poll intervals. Shaded: the device was offline (from the first failed poll to the "
               "next good one). Drag across a chart to zoom in (all charts follow), double-click to zoom "
               "out.</p>\n";
    }
    out << "<div id=\"charts\">";
    if (library) {
        // Shown until the charts draw: an old browser (Internet Explorer 11)
        // or one without scripts says so instead of showing nothing.
        out << "<p class=\"warn\" id=\"charts-missing\">The charts need a current browser with "
               "JavaScript (Edge, Firefox or Chrome); this one cannot draw them. The tables above hold "
               "the whole summary.</p>";
    }
    out << "</div>\n";
    if (library) {
        out << "<script id=\"report-data\" type=\"application/json\">";
        WriteData(logs, out);
        out << "</script>\n<script>" << library->script << "</script>\n<script>" << kScript << "</script>\n";
    }
    out << "</body>\n</html>\n";
    return charts;
}

} // namespace vornix7
