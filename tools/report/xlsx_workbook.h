#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tools/report/log_reading.h"
#include "tools/report/report_data.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace vornix7 {

// Data rows a sheet holds below its header row (1,048,576 rows in all).
inline constexpr std::int64_t kXlsxRowsPerSheet = 1048575;

// A workbook of logs, written in constant memory (each sheet's rows go to a
// temporary file as they come): first a sheet "Summary" with a block of
// figures per log, then each log's polls, one row a poll, in sheets of at
// most `rowsPerSheet` data rows:
//   Time (a date-time cell, yyyy-mm-dd hh:mm:ss), Device (always text),
//   t0 ... tN (numbers; no reading is an empty cell), Status (text).
// Rows of a log must come in the log's order, the logs one after another.
class XlsxWorkbook {
public:
    XlsxWorkbook(const std::string& path, std::int64_t rowsPerSheet = kXlsxRowsPerSheet);
    ~XlsxWorkbook();
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    // False when the workbook could not be started; StartProblem() says why.
    bool Started() const { return workbook_ != nullptr; }
    const std::string& StartProblem() const { return startProblem_; }

    // Starts the polls of the next log: `sensors` reading columns, the
    // Device column as wide as `deviceChars` characters. `title` names the
    // log's sheets ("Polls", or "Polls 2" for the second of several logs).
    void BeginLog(const std::string& title, std::size_t sensors, std::size_t deviceChars);
    void AddPoll(const LogRecord& record);
    // Closes the log's sheets and writes its block on the summary sheet.
    void EndLog(const std::string& logName, const ReportData& data, std::optional<LogSeconds> from,
                std::optional<LogSeconds> to);

    // Writes the file and puts it at its path (never through what stands
    // there). An empty text when it is in place, else the reason. A
    // workbook destroyed without Close leaves nothing behind.
    std::string Close();

    // The sheets of polls so far, of all logs.
    std::size_t PollSheets() const { return sheets_; }

private:
    void NewPollSheet();
    void FinishPollSheet();
    // A label and its value; a text row's `format` is for both its cells (a
    // heading), a number's for the number only (a time, a duration).
    void SummaryRow(const std::string& label, const std::string& text, lxw_format* format = nullptr);
    void SummaryRow(const std::string& label, double number, lxw_format* format = nullptr);

    std::string path_;
    StagedFile staged_; // where the library writes it, until it is whole
    bool staging_ = false;
    std::string startProblem_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* summary_ = nullptr;
    lxw_format* header_ = nullptr;
    lxw_format* time_ = nullptr;
    lxw_format* duration_ = nullptr;
    std::int64_t rowsPerSheet_;
    std::uint32_t summaryRow_ = 0;

    std::string title_;
    std::size_t sensors_ = 0;
    std::size_t deviceChars_ = 0;
    std::vector<std::string> logSheets_; // the names of the log's sheets so far
    lxw_worksheet* polls_ = nullptr;
    std::int64_t rows_ = 0; // data rows in polls_
    std::size_t sheets_ = 0;
};

// Text for a cell: valid UTF-8 kept, any other byte read as Latin-1 (the
// log is in the system's 8-bit code page), control characters that XML
// cannot hold turned into U+FFFD.
std::string CellText(std::string_view bytes);

// Excel's serial date-time (days since 1899-12-30) of a log time.
double SpreadsheetTime(LogSeconds seconds);

} // namespace vornix7
