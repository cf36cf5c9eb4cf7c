// A whole poll from arbitrary page bytes: the first two bytes choose
// LastSensor (-2..16) and UseLogFile, the rest is the page. Checks the log
// line's shape (exactly one line, CR LF only at its end, a fixed number of
// fields once a quoted device name counts as one, the status last, a name
// that is neither a formula nor holds control bytes) and that
// the element search agrees with a plain search of the page.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/poll_result.h"
#include "acquisition/tag_extraction.h"
#include "common/ascii.h"
#include "log/line_sink.h"

namespace {

class Lines final : public vornix7::LineSink {
public:
    void Append(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

class FixedClock final : public vornix7::Clock {
public:
    vornix7::LocalDateTime now() const override { return {2026, 12, 7, 9, 5, 3}; }
};

// The element search spelled out plainly: lower-case the page, find the
// first opening tag, then the first closing tag after it.
std::string PlainExtract(const std::string& page, const std::string& tag)
{
    std::string lower = page;
    for (char& c : lower) {
        c = vornix7::AsciiLower(c);
    }
    const std::string open = "<" + tag + ">";
    const std::size_t p = lower.find(open);
    if (p == std::string::npos) {
        return {};
    }
    const std::size_t q = lower.find("</" + tag + ">", p + open.size());
    if (q == std::string::npos) {
        return {};
    }
    return page.substr(p + open.size(), q - p - open.size());
}

// Splits a CSV line (without its line end); nullopt when quoting is broken.
std::optional<std::vector<std::string>> SplitCsv(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '"') {
            return std::nullopt;
        } else {
            fields.back() += c;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    return fields;
}

void CheckLine(const std::string& line, int sensors, const char* status)
{
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0
        || line.find_first_of(std::string("\r\n\0", 3)) != line.size() - 2) {
        std::abort();
    }
    const auto fields = SplitCsv(line.substr(0, line.size() - 2));
    if (!fields || fields->size() != static_cast<std::size_t>(sensors) + 3 || fields->back() != status) {
        std::abort();
    }
    // Whoever opens the log must not meet a formula or a terminal command.
    const std::string& name = (*fields)[1];
    if (!name.empty() && std::string_view("=+-@").find(name.front()) != std::string_view::npos) {
        std::abort();
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    vornix7::SettingsRecord settings;
    settings.LastSensor = static_cast<int>(data[0] % 19) - 2;
    settings.UseLogFile = (data[1] % 3) - 1;
    const std::string page(reinterpret_cast<const char*>(data + 2), size - 2);

    vornix7::SensorTable table;
    const FixedClock clock;
    Lines sink;
    vornix7::PollResultStore store(settings, table, clock, sink, ':');
    store.StorePollResult(page);

    const int sensors = settings.LastSensor < 0 ? 0 : settings.LastSensor + 1;
    const bool logged = page.empty() || settings.UseLogFile > 0;
    if (sink.lines.size() != (logged ? 1U : 0U)) {
        std::abort();
    }
    if (logged) {
        CheckLine(sink.lines.front(), sensors, page.empty() ? "ERROR" : "OK");
    }
    if (!page.empty()) {
        for (const std::string tag : {"t0", "t1", "t10", "devicename"}) {
            if (vornix7::ExtractTagValue(page, tag) != PlainExtract(page, tag)) {
                std::abort();
            }
        }
        if (table.DeviceName != PlainExtract(page, "devicename")) {
            std::abort();
        }
    }
    return 0;
}
