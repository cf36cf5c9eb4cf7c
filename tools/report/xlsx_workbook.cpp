#include "tools/report/xlsx_workbook.h"

#include <xlsxwriter.h>

#include <algorithm>

#include "common/control_bytes.h"
#include "common/utf8.h"
#include "platform/files.h"
#include "tools/report/utf8_text.h"

namespace vornix7 {

namespace {

constexpr lxw_col_t kTimeColumn = 0;
constexpr lxw_col_t kDeviceColumn = 1;
constexpr lxw_col_t kFirstReadingColumn = 2;
constexpr std::size_t kMaxCellBytes = 32767; // a cell's limit in characters, so in bytes too

} // namespace

std::string CellText(std::string_view bytes)
{
    std::string out = Utf8Text(bytes, true, [](std::string& text, char c) {
        if (IsControlByte(c, ControlBytes::kAllButTab) && c != '\x7F') { // XML allows DEL
            AppendUtf8(text, 0xFFFD);
        } else {
            text += c;
        }
    });
    if (out.size() > kMaxCellBytes) {
        // Cut before the first character that does not fit whole.
        std::size_t end = kMaxCellBytes;
        while ((static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) {
            --end;
        }
        out.resize(end);
    }
    return out;
}

double SpreadsheetTime(LogSeconds seconds)
{
    constexpr LogSeconds kDay = 86400;
    constexpr LogSeconds kDaysTo1970 = 25569; // 1899-12-30 to 1970-01-01
    const LogSeconds days = FloorDiv(seconds, kDay);
    return static_cast<double>(days + kDaysTo1970) + static_cast<double>(seconds - days * kDay) / kDay;
}

XlsxWorkbook::XlsxWorkbook(const std::string& path, std::int64_t rowsPerSheet)
    : path_(path), rowsPerSheet_(std::clamp<std::int64_t>(rowsPerSheet, 1, kXlsxRowsPerSheet))
{
    // The library writes by name, so it writes into a private folder of our
    // own beside the workbook, and the whole file is renamed into place: a
    // link at the workbook's name is never written through.
    auto staged = StageNewFile(path);
    if (!staged.ok()) {
        startProblem_ = staged.error().reason;
        return;
    }
    staged_ = *staged;
    staging_ = true;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    // The sheets' rows wait in temporary files, as large as the sheets' XML:
    // beside the workbook, on its disk, not in a /tmp that may be memory.
    options.tmpdir = staged_.folder.data();
    workbook_ = workbook_new_opt(staged_.path.c_str(), &options);
    if (!workbook_) {
        startProblem_ = "cannot be started";
        return;
    }
    header_ = workbook_add_format(workbook_);
    format_set_bold(header_);
    time_ = workbook_add_format(workbook_);
    format_set_num_format(time_, "yyyy-mm-dd hh:mm:ss");
    duration_ = workbook_add_format(workbook_);
    format_set_num_format(duration_, "[h]:mm:ss");
    summary_ = workbook_add_worksheet(workbook_, "Summary");
    worksheet_set_column(summary_, 0, 0, 28, nullptr);
    worksheet_set_column(summary_, 1, 1, 20, nullptr);
    worksheet_set_column(summary_, 2, 4, 12, nullptr);
    worksheet_fit_to_pages(summary_, 1, 0);
}

XlsxWorkbook::~XlsxWorkbook()
{
    if (workbook_) {
        workbook_close(workbook_);
    }
    if (staging_) {
        DiscardStagedFile(staged_);
    }
}

void XlsxWorkbook::BeginLog(const std::string& title, std::size_t sensors, std::size_t deviceChars)
{
    title_ = title;
    sensors_ = sensors;
    deviceChars_ = deviceChars;
    logSheets_.clear();
    NewPollSheet();
}

void XlsxWorkbook::NewPollSheet()
{
    FinishPollSheet();
    const std::string name =
        logSheets_.empty() ? title_ : title_ + " (" + std::to_string(logSheets_.size() + 1) + ")";
    polls_ = workbook_ ? workbook_add_worksheet(workbook_, name.c_str()) : nullptr;
    logSheets_.push_back(name);
    ++sheets_;
    rows_ = 0;
    if (!polls_) {
        return;
    }
    const auto status = static_cast<lxw_col_t>(kFirstReadingColumn + sensors_);
    worksheet_set_column(polls_, kTimeColumn, kTimeColumn, 20, nullptr);
    worksheet_set_column(polls_, kDeviceColumn, kDeviceColumn,
                         static_cast<double>(std::clamp<std::size_t>(deviceChars_, 8, 40) + 2), nullptr);
    if (sensors_ > 0) {
        worksheet_set_column(polls_, kFirstReadingColumn, status - 1, 10, nullptr);
    }
    worksheet_set_column(polls_, status, status, 8, nullptr);
    worksheet_write_string(polls_, 0, kTimeColumn, "Time", header_);
    worksheet_write_string(polls_, 0, kDeviceColumn, "Device", header_);
    for (std::size_t i = 0; i < sensors_; ++i) {
        worksheet_write_string(polls_, 0, static_cast<lxw_col_t>(kFirstReadingColumn + i),
                               ("t" + std::to_string(i)).c_str(), header_);
    }
    worksheet_write_string(polls_, 0, status, "Status", header_);
    worksheet_freeze_panes(polls_, 1, 0);
    // Printed (or made a PDF): the grid, and the header on every page.
    worksheet_gridlines(polls_, LXW_SHOW_ALL_GRIDLINES);
    worksheet_repeat_rows(polls_, 0, 0);
    worksheet_set_landscape(polls_);
    worksheet_fit_to_pages(polls_, 1, 0);
}

void XlsxWorkbook::FinishPollSheet()
{
    if (polls_) {
        worksheet_autofilter(polls_, 0, 0, static_cast<lxw_row_t>(rows_),
                             static_cast<lxw_col_t>(kFirstReadingColumn + sensors_));
    }
    polls_ = nullptr;
}

void XlsxWorkbook::AddPoll(const LogRecord& record)
{
    if (rows_ >= rowsPerSheet_) {
        NewPollSheet();
    }
    ++rows_;
    if (!polls_) {
        return;
    }
    const auto row = static_cast<lxw_row_t>(rows_);
    worksheet_write_number(polls_, row, kTimeColumn, SpreadsheetTime(record.time), time_);
    if (!record.deviceName.empty()) {
        // A string cell: never a formula, whatever it starts with.
        worksheet_write_string(polls_, row, kDeviceColumn, CellText(record.deviceName).c_str(), nullptr);
    }
    const std::size_t readings = std::min(record.readings.size(), sensors_);
    for (std::size_t i = 0; i < readings; ++i) {
        if (record.readings[i]) {
            worksheet_write_number(polls_, row, static_cast<lxw_col_t>(kFirstReadingColumn + i),
                                   *record.readings[i], nullptr);
        }
    }
    worksheet_write_string(polls_, row, static_cast<lxw_col_t>(kFirstReadingColumn + sensors_),
                           record.ok ? "OK" : "ERROR", nullptr);
}

void XlsxWorkbook::SummaryRow(const std::string& label, const std::string& text, lxw_format* format)
{
    if (summary_) {
        worksheet_write_string(summary_, summaryRow_, 0, label.c_str(), format);
        worksheet_write_string(summary_, summaryRow_, 1, CellText(text).c_str(), format);
    }
    ++summaryRow_;
}

void XlsxWorkbook::SummaryRow(const std::string& label, double number, lxw_format* format)
{
    if (summary_) {
        worksheet_write_string(summary_, summaryRow_, 0, label.c_str(), nullptr);
        worksheet_write_number(summary_, summaryRow_, 1, number, format);
    }
    ++summaryRow_;
}

void XlsxWorkbook::EndLog(const std::string& logName, const ReportData& data, std::optional<LogSeconds> from,
                          std::optional<LogSeconds> to)
{
    FinishPollSheet();
    SummaryRow("Log", logName, header_);
    std::string names;
    for (const std::string& sheet : logSheets_) {
        names += (names.empty() ? "" : ", ") + sheet;
    }
    SummaryRow("Sheets", names);
    if (from || to) {
        SummaryRow("Polls from", from ? FormatLogSeconds(*from) : "the start");
        SummaryRow("Polls to", to ? FormatLogSeconds(*to) : "the end");
    }
    SummaryRow("Polls", static_cast<double>(data.polls));
    SummaryRow("OK", static_cast<double>(data.okPolls));
    SummaryRow("ERROR (device offline)", static_cast<double>(data.errorPolls));
    for (const auto& [label, time] :
         {std::pair{"First poll", data.first}, std::pair{"Last poll", data.last}}) {
        if (time) {
            SummaryRow(label, SpreadsheetTime(*time), time_);
        } else {
            SummaryRow(label, "none");
        }
    }
    SummaryRow("Offline spells", static_cast<double>(data.spells));
    if (data.longestSpell) {
        const OfflineSpell& spell = *data.longestSpell;
        SummaryRow("Longest offline spell", static_cast<double>(spell.duration) / 86400.0, duration_);
        SummaryRow("  from", SpreadsheetTime(spell.start), time_);
        SummaryRow("  to", SpreadsheetTime(spell.end), time_);
        SummaryRow("  failed polls", static_cast<double>(spell.failedPolls));
        if (spell.ongoing) {
            SummaryRow("  still offline at the log's end", "yes");
        }
    } else {
        SummaryRow("Longest offline spell", "none");
    }
    SummaryRow("Lines not read", static_cast<double>(data.unreadable));
    if (data.halfLineAtEnd) {
        SummaryRow("Last line (being written)", "left out");
    }

    if (!data.devices.empty()) {
        ++summaryRow_;
        SummaryRow("Device name", "Polls", header_);
        for (const auto& [name, polls] : data.devices) {
            SummaryRow(CellText(name), static_cast<double>(polls));
        }
        if (data.otherDevicePolls > 0) {
            SummaryRow("(other names)", static_cast<double>(data.otherDevicePolls));
        }
    }

    ++summaryRow_;
    if (summary_) {
        const char* heads[] = {"Sensor", "Readings", "Minimum", "Maximum", "Mean"};
        for (lxw_col_t c = 0; c < 5; ++c) {
            worksheet_write_string(summary_, summaryRow_, c, heads[c], header_);
        }
        for (std::size_t i = 0; i < data.sensors.size(); ++i) {
            const SensorSummary& s = data.sensors[i];
            const auto row = static_cast<lxw_row_t>(summaryRow_ + 1 + i);
            worksheet_write_string(summary_, row, 0, ("t" + std::to_string(i)).c_str(), nullptr);
            worksheet_write_number(summary_, row, 1, static_cast<double>(s.count), nullptr);
            if (s.count > 0) {
                worksheet_write_number(summary_, row, 2, s.min, nullptr);
                worksheet_write_number(summary_, row, 3, s.max, nullptr);
                worksheet_write_number(summary_, row, 4, s.Mean(), nullptr);
            }
        }
    }
    summaryRow_ += static_cast<std::uint32_t>(data.sensors.size()) + 2;
}

std::string XlsxWorkbook::Close()
{
    if (!workbook_) {
        return "cannot be started";
    }
    FinishPollSheet();
    const lxw_error error = workbook_close(workbook_);
    workbook_ = nullptr;
    summary_ = nullptr;
    if (error != LXW_NO_ERROR) {
        return lxw_strerror(error);
    }
    staging_ = false;
    const auto placed = PutStagedFileInPlace(staged_, path_);
    return placed.ok() ? std::string() : placed.error().reason;
}

} // namespace vornix7
