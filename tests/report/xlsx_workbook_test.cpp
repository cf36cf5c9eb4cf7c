#include "tools/report/xlsx_workbook.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "scratch_dir.h"
#include "tools/report/report_tool.h"

namespace vornix7 {
namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::uint32_t Le(const std::string& b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
    }
    return v;
}

// The members of a zip file by name, inflated, read through its central
// directory: what a spreadsheet program reads.
std::map<std::string, std::string> Unzip(const std::string& zip)
{
    std::map<std::string, std::string> members;
    const std::size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos) {
        return members;
    }
    std::size_t at = Le(zip, end + 16, 4);
    for (std::uint32_t n = Le(zip, end + 10, 2); n > 0; --n) {
        const std::uint32_t method = Le(zip, at + 10, 2);
        const std::uint32_t packed = Le(zip, at + 20, 4);
        const std::uint32_t size = Le(zip, at + 24, 4);
        const std::uint32_t nameLength = Le(zip, at + 28, 2);
        const std::string name = zip.substr(at + 46, nameLength);
        const std::uint32_t local = Le(zip, at + 42, 4);
        const std::size_t data = local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
        std::string bytes(size, '\0');
        if (method == 0) {
            bytes = zip.substr(data, packed);
        } else {
            z_stream z{};
            inflateInit2(&z, -MAX_WBITS);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
            z.avail_in = packed;
            z.next_out = reinterpret_cast<Bytef*>(bytes.data());
            z.avail_out = size;
            EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << name;
            inflateEnd(&z);
        }
        members[name] = bytes;
        at += 46 + nameLength + Le(zip, at + 30, 2) + Le(zip, at + 32, 2);
    }
    return members;
}

// A sheet's cells by reference ("B2"): the type attribute, the style, the
// value or inline text, and whether it holds a formula.
struct Cell {
    std::string type;
    std::string style;
    std::string value;
    bool formula = false;
};
std::map<std::string, Cell> Cells(const std::string& xml)
{
    std::map<std::string, Cell> cells;
    static const std::regex cell(R"re(<c r="([A-Z]+[0-9]+)"([^>]*?)(/>|>(.*?)</c>))re");
    static const std::regex type(R"re( t="([^"]*)")re");
    static const std::regex style(R"re( s="([^"]*)")re");
    static const std::regex value(R"re(<v>([^<]*)</v>|<t[^>]*>([^<]*)</t>)re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), cell); it != std::sregex_iterator(); ++it) {
        Cell c;
        const std::string attributes = (*it)[2];
        const std::string body = (*it)[4];
        std::smatch m;
        if (std::regex_search(attributes, m, type)) {
            c.type = m[1];
        }
        if (std::regex_search(attributes, m, style)) {
            c.style = m[1];
        }
        if (std::regex_search(body, m, value)) {
            c.value = m[1].matched ? m[1] : m[2];
        }
        for (const auto& [entity, text] :
             {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
            for (std::size_t at; (at = c.value.find(entity)) != std::string::npos;) {
                c.value.replace(at, std::strlen(entity), text);
            }
        }
        c.formula = body.find("<f") != std::string::npos;
        cells[(*it)[1]] = c;
    }
    return cells;
}

struct Written {
    int status = 0;
    std::string out;
    std::string err;
    std::map<std::string, std::string> members;
};

Written WriteBook(const test::ScratchDir& dir, const std::vector<std::string>& logs,
                  std::int64_t rowsPerSheet, std::vector<std::string> extra = {})
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < logs.size(); ++i) {
        paths.push_back(dir.path() + "/log" + std::to_string(i + 1) + ".txt");
        std::ofstream(paths.back(), std::ios::binary) << logs[i];
    }
    std::ostringstream out;
    std::ostringstream err;
    Written w;
    const std::string book = dir.path() + "/book.xlsx";
    if (extra.empty()) {
        w.status = WriteXlsxReport(paths, book, std::nullopt, std::nullopt, out, err, rowsPerSheet);
    } else {
        paths.insert(paths.end(), extra.begin(), extra.end());
        paths.insert(paths.end(), {"--xlsx", book});
        w.status = RunReportTool(paths, dir.path(), out, err);
    }
    w.out = out.str();
    w.err = err.str();
    w.members = Unzip(ReadAll(book));
    return w;
}

TEST(XlsxWorkbook, DeviceNamesAreTextCellsWithoutTheLoggersGuard)
{
    const struct {
        const char* logged; // the name field as the logger wrote it
        const char* shown;
    } cases[] = {
        {"'=1+1", "=1+1"},
        {"'+49 30 1234", "+49 30 1234"},
        {"'-Lab", "-Lab"},
        {"'@SUM(A1)", "@SUM(A1)"},
        {"'=HYPERLINK(\"\"http://x\"\")", "=HYPERLINK(\"http://x\")"},
        {"\"'=A1,B1\"", "=A1,B1"},
        {"'plain", "'plain"},
        {"Lab <North> & co", "Lab <North> & co"},
        {"Caf\xe9 \xb0"
         "C",
         "Caf\xc3\xa9 \xc2\xb0"
         "C"},
    };
    std::string log;
    for (const auto& c : cases) {
        std::string field = c.logged;
        if (field.find('"') != std::string::npos && field[0] != '"') {
            field = "\"" + field + "\"";
        }
        log += "2026-12-07 10:00:00," + field + ",1.5,OK\r\n";
    }
    const test::ScratchDir dir;
    Written w = WriteBook(dir, {log}, kXlsxRowsPerSheet);
    ASSERT_EQ(w.status, 0) << w.err;
    const auto cells = Cells(w.members["xl/worksheets/sheet2.xml"]);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].logged);
        const Cell& name = cells.at("B" + std::to_string(i + 2));
        EXPECT_EQ(name.type, "inlineStr");
        EXPECT_FALSE(name.formula);
        EXPECT_EQ(name.value, cases[i].shown);
        EXPECT_EQ(cells.at("C" + std::to_string(i + 2)).value, "1.5");
    }
}

TEST(XlsxWorkbook, PollsGoOnInFurtherSheetsPastTheRowLimit)
{
    std::string log;
    for (int i = 0; i < 7; ++i) {
        log += "2026-12-07 10:00:0" + std::to_string(i) + ",Lab," + std::to_string(i) + ".,OK\r\n";
    }
    const struct {
        std::int64_t rows;
        std::vector<std::int64_t> sheets; // data rows of each sheet of polls
    } cases[] = {{3, {3, 3, 1}}, {7, {7}}, {6, {6, 1}}, {1, {1, 1, 1, 1, 1, 1, 1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        const test::ScratchDir dir;
        Written w = WriteBook(dir, {log}, c.rows);
        ASSERT_EQ(w.status, 0) << w.err;
        const std::string workbook = w.members["xl/workbook.xml"];
        int poll = 0;
        for (std::size_t s = 0; s < c.sheets.size(); ++s) {
            const std::string name = s == 0 ? "Polls" : "Polls (" + std::to_string(s + 1) + ")";
            EXPECT_NE(workbook.find("name=\"" + name + "\""), std::string::npos) << name;
            const auto cells = Cells(w.members["xl/worksheets/sheet" + std::to_string(s + 2) + ".xml"]);
            EXPECT_EQ(cells.at("A1").value, "Time");
            EXPECT_EQ(cells.count("A" + std::to_string(c.sheets[s] + 2)), 0u);
            for (std::int64_t r = 2; r < c.sheets[s] + 2; ++r, ++poll) {
                EXPECT_EQ(cells.at("C" + std::to_string(r)).value, std::to_string(poll));
            }
        }
        EXPECT_EQ(poll, 7);
        EXPECT_EQ(w.members.count("xl/worksheets/sheet" + std::to_string(c.sheets.size() + 2) + ".xml"), 0u);
        // The summary counts every poll once and names the sheets.
        const auto summary = Cells(w.members["xl/worksheets/sheet1.xml"]);
        EXPECT_EQ(summary.at("B3").value, "7");
        std::string names = "Polls";
        for (std::size_t s = 2; s <= c.sheets.size(); ++s) {
            names += ", Polls (" + std::to_string(s) + ")";
        }
        EXPECT_EQ(summary.at("B2").value, names);
    }
}

TEST(XlsxWorkbook, ReadingsNumbersNoReadingEmptyAndLeftOutLinesNamed)
{
    const std::string log = "2026-12-07 10:00:00,Lab,21.5,-3.25,OK\r\n"
                            "garbage\r\n"
                            "2026-12-07 10:00:05,Lab,-2048000.,-2048000.,ERROR\r\n"
                            "2026-12-07 10:00:10,Lab,22.,OK\r\n"
                            "2026-12-07 10:00:15,Lab,2";
    const test::ScratchDir dir;
    Written w = WriteBook(dir, {log}, kXlsxRowsPerSheet);
    EXPECT_EQ(w.status, 3);
    EXPECT_NE(w.err.find("log1.txt:2: "), std::string::npos) << w.err;
    const auto cells = Cells(w.members["xl/worksheets/sheet2.xml"]);
    EXPECT_EQ(cells.at("D1").value, "t1");
    EXPECT_EQ(cells.at("E1").value, "Status");
    EXPECT_EQ(cells.at("C2").value, "21.5");
    EXPECT_EQ(cells.at("D2").type, "");
    EXPECT_EQ(cells.at("D2").value, "-3.25");
    EXPECT_EQ(cells.count("C3"), 0u);
    EXPECT_EQ(cells.count("D3"), 0u);
    EXPECT_EQ(cells.at("E3").value, "ERROR");
    EXPECT_EQ(cells.at("C4").value, "22");
    EXPECT_EQ(cells.count("D4"), 0u);
    EXPECT_EQ(cells.at("E4").value, "OK");
    EXPECT_EQ(cells.count("A5"), 0u); // neither the garbage nor the half line
    EXPECT_NE(cells.at("A2").style, cells.at("C2").style);
    EXPECT_DOUBLE_EQ(std::stod(cells.at("A4").value),
                     SpreadsheetTime(SecondsFromCivil({2026, 12, 7, 10, 0, 10})));
}

TEST(XlsxWorkbook, SeveralLogsAndTheToolsTimeRange)
{
    const std::string a = "2026-12-07 10:00:00,A,1.,OK\r\n2026-12-07 11:00:00,A,2.,OK\r\n";
    const std::string b = "2026-12-07 10:30:00,B,1.,2.,3.,OK\r\n";
    const test::ScratchDir dir;
    Written w = WriteBook(dir, {a, b}, kXlsxRowsPerSheet, {"--from", "2026-12-07 10:15"});
    ASSERT_EQ(w.status, 0) << w.err;
    const std::string workbook = w.members["xl/workbook.xml"];
    EXPECT_NE(workbook.find("name=\"Polls 1\""), std::string::npos);
    EXPECT_NE(workbook.find("name=\"Polls 2\""), std::string::npos);
    const auto first = Cells(w.members["xl/worksheets/sheet2.xml"]);
    EXPECT_EQ(first.at("C2").value, "2");
    EXPECT_EQ(first.count("A3"), 0u);
    const auto second = Cells(w.members["xl/worksheets/sheet3.xml"]);
    EXPECT_EQ(second.at("F1").value, "Status");
    EXPECT_EQ(second.at("E2").value, "3");
}

TEST(XlsxWorkbook, SpreadsheetTimeIsTheSerialDate)
{
    const struct {
        LogSeconds seconds;
        double serial;
    } cases[] = {
        {SecondsFromCivil({1970, 1, 1, 0, 0, 0}), 25569.0},
        {SecondsFromCivil({2000, 1, 1, 0, 0, 0}), 36526.0},
        {SecondsFromCivil({1900, 3, 1, 18, 0, 0}), 61.75},
        {SecondsFromCivil({1969, 12, 31, 12, 0, 0}), 25568.5},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(SpreadsheetTime(c.seconds), c.serial) << c.seconds;
    }
}

TEST(XlsxWorkbook, CellTextIsValidUtf8ForXml)
{
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"Lab \xc2\xb5", "Lab \xc2\xb5"},
        {"\xb5m", "\xc2\xb5m"},
        {"a\x01"
         "b",
         "a\xef\xbf\xbd"
         "b"},
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"}, // a UTF-16 surrogate is no UTF-8
        {std::string(40000, 'x'), std::string(32767, 'x')},
        {"\xef\xbf\xbe\x7f", "\xc3\xaf\xc2\xbf\xc2\xbe\x7f"}, // no U+FFFE in XML; DEL it allows
        // A character that does not fit whole is left out, not cut.
        {std::string(32766, 'x') + "\xc2\xb5", std::string(32766, 'x')},
        {std::string(32765, 'x') + "\xe2\x82\xac", std::string(32765, 'x')},
        {std::string(32766, 'x') + "\xb5", std::string(32766, 'x')},
        {std::string(32764, 'x') + "\x01y", std::string(32764, 'x') + "\xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CellText(c.bytes), c.text);
    }
}

} // namespace
} // namespace vornix7
