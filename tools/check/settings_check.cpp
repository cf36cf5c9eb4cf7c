#include "tools/check/settings_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/page_fetch.h"
#include "common/ascii.h"
#include "common/control_bytes.h"
#include "common/sensor_table.h"
#include "common/url_rule.h"
#include "common/utf8.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "log/log_with_side_file.h"
#include "platform/files.h"
#include "platform/locked_file.h"
#include "platform/system.h"

namespace vornix7 {

namespace {

// The likely mistakes found in one settings file, as the lines that report
// them. Adding one is one call, wherever it is found.
class SettingsWarnings {
public:
    explicit SettingsWarnings(std::string fileName) : fileName_(std::move(fileName)) {}

    // A mistake about the file as a whole, or about a value it does not set.
    void Add(std::string text) { AddAt(0, std::move(text)); }
    // A mistake on one line of the file, counted from 1.
    void AddAt(std::size_t line, std::string text) { items_.push_back({line, std::move(text)}); }

    // "warning: FILE:LINE: text" or "warning: FILE: text" each, those about
    // the whole file first, then in the order of the file's lines.
    std::vector<std::string> Lines() const
    {
        std::vector<Item> items = items_;
        std::stable_sort(items.begin(), items.end(),
                         [](const Item& a, const Item& b) { return a.line < b.line; });
        // A file that is no settings file at all (a wrong path, a binary) must
        // not bury the terminal.
        constexpr std::size_t kMaxShown = 100;
        if (items.size() > kMaxShown) {
            const std::size_t hidden = items.size() - kMaxShown;
            items.resize(kMaxShown);
            items.push_back({0, std::to_string(hidden) + " more warnings not shown"});
        }
        std::vector<std::string> lines;
        for (const Item& item : items) {
            std::string where = fileName_;
            if (item.line != 0) {
                where += ':' + std::to_string(item.line);
            }
            // The file's bytes are echoed; control bytes but tab are shown as
            // \xNN so that none can move the cursor or recolour the terminal.
            lines.push_back(
                EscapeControlBytes("warning: " + where + ": " + item.text, ControlBytes::kAllButTab));
        }
        return lines;
    }

private:
    struct Item {
        std::size_t line;
        std::string text;
    };
    std::string fileName_;
    std::vector<Item> items_;
};

// Edits (insert, delete, replace) from `a` to `b`, ignoring ASCII case.
std::size_t EditDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " (did you mean X?)" with the key or section (`field`) of the setting
// nearest to `name`, when it is near enough to be a slip of the keyboard;
// empty text otherwise.
std::string DidYouMean(std::string_view name, const char* SettingKey::*field, std::string_view open,
                       std::string_view close)
{
    std::string_view best;
    std::size_t bestDistance = std::numeric_limits<std::size_t>::max();
    for (const SettingKey& setting : kSettingKeys) {
        const std::string_view known = setting.*field;
        const std::size_t distance = EditDistance(name, known);
        if (distance < bestDistance) {
            best = known;
            bestDistance = distance;
        }
    }
    if (bestDistance > std::max<std::size_t>(2, name.size() / 3)) {
        return {};
    }
    return " (did you mean " + std::string(open) + std::string(best) + std::string(close) + "?)";
}

// The first setting whose key or section (`field`) is `name`, in any case.
const SettingKey* FindSetting(std::string_view name, const char* SettingKey::*field)
{
    const auto found = std::find_if(kSettingKeys.begin(), kSettingKeys.end(), [&](const SettingKey& known) {
        return EqualsIgnoringAsciiCase(name, known.*field);
    });
    return found == kSettingKeys.end() ? nullptr : &*found;
}

// A blank followed by ';' or '#': a comment written after the value, which
// the reader keeps as part of it.
bool HasTrailingComment(std::string_view value)
{
    for (std::size_t i = 1; i < value.size(); ++i) {
        if ((value[i] == ';' || value[i] == '#') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
            return true;
        }
    }
    return false;
}

// The line of each setting that counts (0 where the file sets none), in the
// order of kSettingKeys.
using CountingLines = std::array<std::size_t, kSettingKeys.size()>;

CountingLines CheckEntries(const IniFile& file, SettingsWarnings& warnings)
{
    CountingLines counting{};
    bool inKnownSection = false;
    for (const IniEntry& entry : file.Entries()) {
        const std::size_t line = entry.lineNumber;
        if (entry.isSection) {
            inKnownSection = FindSetting(entry.section, &SettingKey::section) != nullptr;
            if (!inKnownSection) {
                warnings.AddAt(line, "section [" + entry.section
                                         + "] is not read by the logger, nor are its keys"
                                         + DidYouMean(entry.section, &SettingKey::section, "[", "]"));
            }
            continue;
        }
        if (entry.aboveFirstSection) {
            warnings.AddAt(line, entry.key + " stands above every section and is not read");
            continue;
        }
        if (!inKnownSection) {
            continue; // the section's warning covers its keys
        }
        if (entry.key.empty()) {
            warnings.AddAt(line, "a value with no key before its '=' is not read");
            continue;
        }
        const SettingKey* setting = FindSetting(entry.key, &SettingKey::key);
        if (setting == nullptr) {
            warnings.AddAt(line, entry.key + " is not a key the logger reads"
                                     + DidYouMean(entry.key, &SettingKey::key, "", ""));
            continue;
        }
        if (!EqualsIgnoringAsciiCase(entry.section, setting->section)) {
            warnings.AddAt(line, std::string(setting->key) + " is not read in [" + entry.section
                                     + "]: it belongs in [" + setting->section + "]");
            continue;
        }
        std::size_t& first = counting[static_cast<std::size_t>(setting - kSettingKeys.data())];
        if (first != 0) {
            warnings.AddAt(line, std::string(setting->key) + " is given again; the first, on line "
                                     + std::to_string(first) + ", counts");
            continue;
        }
        first = line;
        if (entry.writtenLength > kMaxIniValueLength) {
            warnings.AddAt(line, "the value of " + std::string(setting->key) + " is "
                                     + std::to_string(entry.writtenLength)
                                     + " bytes long: the logger reads only its first "
                                     + std::to_string(kMaxIniValueLength) + " (shown above)");
        }
        if (!entry.quoted && HasTrailingComment(entry.value)) {
            warnings.AddAt(line,
                           "the value of " + std::string(setting->key) + " is \"" + entry.value
                               + "\": text after a value is part of it; put a comment on a line of its own");
        }
    }
    return counting;
}

std::size_t CountingLine(const CountingLines& counting, const SettingKey& setting)
{
    return counting[static_cast<std::size_t>(FindSetting(setting.key, &SettingKey::key)
                                             - kSettingKeys.data())];
}

std::string LogAccessProblem(const std::string& path)
{
    if (path.empty()) {
        return "LogfileName is empty";
    }
    switch (AppendAccessAt(path)) {
    case AppendAccess::kPossible:
        return {};
    case AppendAccess::kFolderMissing:
        return "the folder of the log file \"" + path + "\" does not exist";
    case AppendAccess::kFolderNotWritable:
        return "the log file \"" + path + "\" cannot be created: its folder is not writable";
    case AppendAccess::kFileNotWritable:
        return "the log file \"" + path + "\" cannot be written";
    case AppendAccess::kNotAFile:
        return "the log file \"" + path + "\" is a folder";
    }
    return {};
}

std::string Lines(std::size_t count)
{
    return count == 1 ? "1 line" : std::to_string(count) + " lines";
}

// Lines left waiting beside the log by a logger that ended while another
// program held the log, read as the logger reads them: only a plain file of
// its own, never through a link, in pieces.
std::string SideFileWarning(const std::string& side)
{
    SideFile file;
    if (auto opened = file.Open(side, false); !opened.ok() || !*opened) {
        const std::string why = opened.ok() ? std::string("it went away") : opened.error().reason;
        return "\"" + side + "\" is not a side file the logger can use (" + why
               + "): its next line ends it with a run-time error";
    }
    LogWithSideFile::Counted counted;
    if (auto read = LogWithSideFile::Count(file, counted); !read.ok()) {
        return "lines wait in \"" + side + "\" (it cannot be read: " + read.error().reason + ")";
    }
    std::string text =
        Lines(counted.lines) + (counted.lines == 1 ? " waits" : " wait") + " in \"" + side
        + "\", left while another program held the log: the logger moves them into the log with "
          "its next line";
    if (counted.others > 0) {
        text += "; " + Lines(counted.others) + " in it "
                + (counted.others == 1 ? "is not a log line" : "are not log lines")
                + " and will be set aside in \"" + side + LogWithSideFile::kSetAsideSuffix + "\"";
    }
    return text;
}

// Whether `text` is all well-formed UTF-8 characters, by the rule the
// reader decodes a marked file with.
bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        length = Utf8CharacterLength(text.substr(i));
        if (length == 0) {
            return false;
        }
    }
    return true;
}

// A file without a byte-order mark is read as 8-bit text in the code page.
// Where that is a Windows ANSI code page and the file is UTF-8 (what most
// editors save today), a non-ASCII log name is misread: each such character
// becomes two or three others, and a folder of that name is not found. The
// URL is not misread: its bytes go out percent-encoded as they stand, which
// is what a UTF-8 writer means. Where the code page is UTF-8 (Linux, or
// Windows set to UTF-8) a UTF-8 file reads exactly as written, so there is
// nothing to say; the reverse, a file saved in a Windows code page and read
// there, is not warned about either, since its bytes still name a file and
// nothing tells which code page was meant.
void CheckUnmarkedUtf8(const IniFile& file, const SettingsRecord& s, std::size_t logLine,
                       SettingsWarnings& warnings)
{
    if (file.encoding() != IniFile::Encoding::kCodePage || SystemCodePageKind() == CodePageKind::kUtf8) {
        return;
    }
    const std::vector<IniEntry> entries = file.Entries();
    const bool utf8 = std::all_of(entries.begin(), entries.end(), [](const IniEntry& entry) {
        return IsUtf8(entry.section) && IsUtf8(entry.key) && IsUtf8(entry.value);
    });
    const bool nonAsciiLogName = std::any_of(s.LogfileName.begin(), s.LogfileName.end(),
                                             [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (utf8 && nonAsciiLogName) {
        warnings.AddAt(logLine,
                       "the file has no byte-order mark, so the logger reads it in the ANSI code page, "
                       "but its text is UTF-8: each non-ASCII character of LogfileName reads as two or "
                       "three others; save the file as \"UTF-8 with BOM\" or as ANSI");
    }
}

void CheckValues(const SettingsRecord& s, const CountingLines& counting, SettingsWarnings& warnings)
{
    const auto at = [&](const SettingKey& setting, std::string text) {
        warnings.AddAt(CountingLine(counting, setting), std::move(text));
    };
    if (s.PollInterval < 1) {
        at(kPollIntervalKey,
           "PollInterval " + std::to_string(s.PollInterval) + " is below 1: a poll every second");
    }
    if (const std::string problem = UrlProblem(s.URL); !problem.empty()) {
        at(kUrlKey,
           "URL \"" + s.URL + "\" cannot be fetched: " + problem + "; every poll logs an ERROR line");
    }
    if (!PageFetcher::StepLimit(s.HTMLTimeout)) {
        at(kHtmlTimeoutKey, "HTMLTimeout " + std::to_string(s.HTMLTimeout)
                                + " is too large: its wait count (x50) overflows and the first poll ends the "
                                  "logger with \"Overflow\"");
    }
    if (s.LastSensor >= kSensorSlots) {
        at(kLastSensorKey,
           "LastSensor " + std::to_string(s.LastSensor)
               + " is above 16: the first poll ends the logger with \"Subscript out of range\"");
    } else if (s.LastSensor < 0) {
        at(kLastSensorKey,
           "LastSensor " + std::to_string(s.LastSensor) + " is below 0: no readings are logged");
    }
    if (const std::string problem = LogAccessProblem(s.LogfileName); !problem.empty()) {
        at(kLogfileNameKey, problem + ": the first line the logger writes ends it with a run-time error");
    } else if (const std::string side = s.LogfileName + LogWithSideFile::kSideFileSuffix; PathExists(side)) {
        at(kLogfileNameKey, SideFileWarning(side));
    }
    if (const std::string setAside =
            s.LogfileName + LogWithSideFile::kSideFileSuffix + LogWithSideFile::kSetAsideSuffix;
        !s.LogfileName.empty() && PathExists(setAside)) {
        at(kLogfileNameKey,
           "lines that were not log lines were set aside in \"" + setAside
               + "\" when waiting lines went into the log: look at them, then remove the file");
    }
}

} // namespace

std::vector<std::string> SettingsFileWarnings(const std::string& path, const IniFile& file,
                                              const SettingsRecord& settings)
{
    SettingsWarnings warnings(path);
    if (file.problem()) {
        warnings.Add("the settings file exists but cannot be read (" + *file.problem()
                     + "): the logger takes every default");
    }
    CountingLines counting{};
    if (!PathExists(path)) {
        warnings.Add(std::string("no such file: the logger runs on the defaults and polls ") + kDefaultUrl
                     + ", an address no one set");
    } else {
        counting = CheckEntries(file, warnings);
        if (CountingLine(counting, kUrlKey) == 0) {
            warnings.Add(std::string("no URL in [VORNIX7]: the logger polls the default ") + kDefaultUrl);
        }
    }
    CheckValues(settings, counting, warnings);
    CheckUnmarkedUtf8(file, settings, CountingLine(counting, kLogfileNameKey), warnings);
    return warnings.Lines();
}

} // namespace vornix7
