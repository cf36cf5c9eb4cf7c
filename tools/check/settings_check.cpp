#include "tools/check/settings_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "common/ascii.h"
#include "common/sensor_table.h"
#include "common/url_rule.h"
#include "config/ini_file.h"
#include "config/settings.h"
#include "log/log_with_side_file.h"
#include "platform/files.h"
#include "platform/locked_file.h"
#include "platform/system.h"
#include "tools/check/settings_warnings.h"

namespace vornix7 {

namespace {

constexpr std::array<std::string_view, 2> kSections = {"Settings", "VORNIX7"};

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

// The known name nearest to `name` when it is near enough to be a slip of
// the keyboard, or empty text.
template <typename Names, typename NameOf>
std::string_view NearestName(std::string_view name, const Names& names, NameOf nameOf)
{
    std::string_view best;
    std::size_t bestDistance = std::numeric_limits<std::size_t>::max();
    for (const auto& candidate : names) {
        const std::size_t distance = EditDistance(name, nameOf(candidate));
        if (distance < bestDistance) {
            best = nameOf(candidate);
            bestDistance = distance;
        }
    }
    const std::size_t nearEnough = std::max<std::size_t>(2, name.size() / 3);
    return bestDistance <= nearEnough ? best : std::string_view();
}

std::string DidYouMean(std::string_view open, std::string_view nearest, std::string_view close)
{
    return nearest.empty()
               ? std::string()
               : " (did you mean " + std::string(open) + std::string(nearest) + std::string(close) + "?)";
}

bool IsKnownSection(std::string_view name)
{
    return std::any_of(kSections.begin(), kSections.end(),
                       [name](std::string_view known) { return EqualsIgnoringAsciiCase(name, known); });
}

const SettingKey* FindKey(std::string_view key)
{
    const auto found = std::find_if(kSettingKeys.begin(), kSettingKeys.end(), [key](const SettingKey& known) {
        return EqualsIgnoringAsciiCase(key, known.key);
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
            inKnownSection = IsKnownSection(entry.section);
            if (!inKnownSection) {
                warnings.AddAt(line, "section [" + entry.section
                                         + "] is not read by the logger, nor are its keys"
                                         + DidYouMean("[",
                                                      NearestName(entry.section, kSections,
                                                                  [](std::string_view s) { return s; }),
                                                      "]"));
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
        const SettingKey* setting = FindKey(entry.key);
        if (setting == nullptr) {
            const std::string_view nearest = NearestName(
                entry.key, kSettingKeys, [](const SettingKey& k) { return std::string_view(k.key); });
            warnings.AddAt(line, entry.key + " is not a key the logger reads" + DidYouMean("", nearest, ""));
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
    for (std::size_t i = 0; i < kSettingKeys.size(); ++i) {
        if (std::string_view(kSettingKeys[i].key) == setting.key) {
            return counting[i];
        }
    }
    return 0;
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

// What the bytes from 0x80 up in some text are: whether there are any, and
// whether they all form well-formed UTF-8 characters (no overlong form, no
// surrogate, nothing beyond U+10FFFF).
struct NonAsciiBytes {
    bool any = false;
    bool utf8 = true;

    void Scan(std::string_view text)
    {
        for (std::size_t i = 0; i < text.size();) {
            const auto lead = static_cast<unsigned char>(text[i]);
            if (lead < 0x80) {
                ++i;
                continue;
            }
            any = true;
            const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
            bool whole = lead >= 0xC2 && lead <= 0xF4 && i + length <= text.size()
                         && static_cast<unsigned char>(text[i + 1]) >= low
                         && static_cast<unsigned char>(text[i + 1]) <= high;
            for (std::size_t j = 2; whole && j < length; ++j) {
                whole = (static_cast<unsigned char>(text[i + j]) & 0xC0) == 0x80;
            }
            if (!whole) {
                utf8 = false;
                return;
            }
            i += length;
        }
    }
};

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
    NonAsciiBytes inFile;
    for (const IniEntry& entry : file.Entries()) {
        inFile.Scan(entry.section);
        inFile.Scan(entry.key);
        inFile.Scan(entry.value);
    }
    NonAsciiBytes inLogName;
    inLogName.Scan(s.LogfileName);
    if (inFile.utf8 && inLogName.any) {
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
    const std::int64_t waitSteps = std::int64_t{s.HTMLTimeout} * 50;
    if (waitSteps > std::numeric_limits<std::int32_t>::max()
        || waitSteps < std::numeric_limits<std::int32_t>::min()) {
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

void CheckSettingsFile(const IniFile& file, bool found, const SettingsRecord& settings,
                       SettingsWarnings& warnings)
{
    CountingLines counting{};
    if (!found) {
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
}

} // namespace vornix7
