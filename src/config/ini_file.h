#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornix7 {

template <class T> class Result;

// The longest value a setting can have; longer values are cut.
inline constexpr std::size_t kMaxIniValueLength = 999;

// Settings files larger than this are read only up to it: no real settings
// file comes near, and a wrong path must not swallow the machine's memory.
inline constexpr std::size_t kMaxIniFileBytes = 64U * 1024U * 1024U;

// One section line or key=value line of a settings file, as the reader
// sees it; for checking a file, not for reading settings.
struct IniEntry {
    std::size_t lineNumber = 0;     // counted from 1, as an editor counts
    bool isSection = false;         // a "[Name]" line: `section` is the name, key and value are empty
    std::string section;            // a key's section as written (blanks dropped); "" above the first
    bool aboveFirstSection = false; // a key above every section line, which no lookup finds
    std::string key;
    std::string value;             // exactly what ReadIniValue gives for this line
    std::size_t writtenLength = 0; // the value's length in the file; above kMaxIniValueLength it was cut
    bool quoted = false;           // the value stood in a pair of quotes, which were removed
};

// A sectioned key=value file, held as its bytes.
//
// Rules, as users of such files expect them:
// - "[Name]" starts a section; key=value lines belong to the section above.
// - Section and key names match without regard to (ASCII) case.
// - Blanks (spaces, tabs) around names and values are dropped, then one
//   matching pair of single or double quotes around the value is removed,
//   then the value is cut to kMaxIniValueLength bytes.
// - A key present with an empty value gives empty text, not the default.
// - The first occurrence of a key counts, also across repeated sections.
// - Lines end in LF, CR LF or CR; anything else (comments, lines without
//   '=') matches no key.
// - A file that starts with the UTF-8 byte-order mark (what Windows Notepad
//   saves as "UTF-8 with BOM") or the UTF-16 LE or BE one ("Unicode") is
//   decoded and turned into the system's 8-bit code page first ('?' for
//   what it cannot hold), then read by the same rules. Where the code page
//   is UTF-8 a UTF-8 file only loses its mark. A file without a mark is
//   taken to be in the code page already.
class IniFile {
public:
    // Reads the file. A missing file reads as empty, so every lookup gives
    // its default; so does one that exists but cannot be read (no
    // permission, a folder, a read error), and problem() then says why.
    static IniFile Load(const std::string& path);
    // The same for a path in the system's own form (UTF-16 on Windows): the
    // settings file beside the program, whose folder's name the code page
    // may not hold.
    static IniFile LoadFromSystemPath(const std::filesystem::path& path);

    explicit IniFile(std::string contents);

    // How the file's bytes were taken: by its byte-order mark, or as 8-bit
    // text in the code page when it has none.
    enum class Encoding { kCodePage, kUtf8, kUtf16 };
    Encoding encoding() const { return encoding_; }

    // Every section line and key=value line in file order, read by the same
    // rules as ReadIniValue; blank lines, comments and lines without '=' are left out.
    std::vector<IniEntry> Entries() const;

    // Why an existing file could not be read, such as "Permission denied";
    // empty when it was read or is not there at all.
    const std::optional<std::string>& problem() const { return problem_; }

private:
    friend std::string ReadIniValue(std::string_view section, std::string_view key,
                                    std::string_view defaultText, const IniFile& file);
    static IniFile FromFile(Result<std::string> file);

    Encoding encoding_;
    std::string contents_;
    std::optional<std::string> problem_;
};

// One value from the settings file `file`, or `defaultText` when the file
// (empty then), the section or the key is missing, by the rules above.
std::string ReadIniValue(std::string_view section, std::string_view key, std::string_view defaultText,
                         const IniFile& file);

} // namespace vornix7
