#pragma once

// The system's services that are not files: text in the system's code page,
// local time, the locale's time separator, whether a display is there,
// standard output and error, and ending the process.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vornix7 {

// UTF-16 text (code units in machine order) as 8-bit text in the system's
// code page, the form every file and path of the program takes. A character
// the code page cannot hold, and a surrogate without its partner, becomes
// '?', as Windows' own readers of UTF-16 settings files do.
//
// The code page is the ANSI code page on Windows (CP_ACP) and UTF-8 on
// POSIX systems, whose file names and files are UTF-8 in every locale in
// use today; there only a lone surrogate becomes '?'.
std::string CodePageFromUtf16(std::u16string_view text);

// UTF-8 text as 8-bit text in the system's code page, by the same rules
// ('?' for a character the code page cannot hold, and for each byte that is
// not part of a well-formed UTF-8 character). Where the code page is UTF-8
// (POSIX systems; Windows set to code page 65001) the text is returned as
// it is, malformed bytes included.
std::string CodePageFromUtf8(std::string_view text);

// A path written as 8-bit text in the system's code page in the system's
// own form of paths (UTF-16 on Windows, the bytes as they are elsewhere),
// and back ('?' for what the code page cannot hold). std::filesystem::path's
// own conversions take 8-bit text as UTF-8 on Windows, which the ANSI code
// page is not, so paths cross between the two forms only here.
std::filesystem::path PathFromCodePage(std::string_view text);
std::string CodePageFromPath(const std::filesystem::path& path);

// What the system's code page is, as far as the bytes 0x80..0x9F go.
enum class CodePageKind {
    // UTF-8 (POSIX systems; Windows set to code page 65001): 0x80..0x9F
    // alone are no character, and U+0080..U+009F are the C1 controls that
    // 8-bit terminals obey (CSI, OSC, ...).
    kUtf8,
    // Another Windows ANSI code page: 1252 and its kin use 0x80..0x9F for
    // printable characters (the euro sign, curly quotes), the East Asian
    // ones as the first byte of a two-byte character.
    kOther,
};
CodePageKind SystemCodePageKind();

#ifdef _WIN32
// Windows only: 8-bit text in the ANSI code page as the UTF-16 text that
// the system's wide (...W) functions take, and back ('?' for what the code
// page cannot hold).
std::wstring WideFromCodePage(std::string_view text);
std::string CodePageFromWide(std::wstring_view text);
#endif

// `seconds` as the machine's local time (time zone and daylight saving
// from the system), thread-safe.
std::tm LocalTime(std::time_t seconds);

// The time separator of the locale called `name` in the system's own
// naming ("fi_FI.UTF-8" on POSIX, "fi-FI" on Windows); ':' when the locale
// names none or one that the log's columns cannot carry (a blank, a control
// character, ',' or '"'). Empty text is the user's locale (on POSIX LC_TIME
// from the environment). Nothing when the system does not know the locale.
std::optional<char> TimeSeparatorOfLocale(const std::string& name);

// The time separator of the user's locale, ':' for one the system does not
// know.
inline char LocaleTimeSeparator()
{
    return TimeSeparatorOfLocale("").value_or(':');
}

// Whether `c` can stand between the time stamp's fields.
inline bool IsUsableTimeSeparator(char c)
{
    return c > ' ' && c < 0x7f && c != '%' && c != ',' && c != '"';
}

// True when the system names a display a window could be opened on. Only
// looks; it opens nothing.
bool DisplayAvailable();

// Standard output passes bytes through unchanged: on Windows it is put in
// binary mode, so a CR LF line end stays CR LF (text mode would write CR CR
// LF); elsewhere it already does.
void PutStandardOutputInBinaryMode();

// Called first in main, before anything opens a file, a pipe or a socket,
// by each program that writes the log or status lines. Notes which
// descriptors the program was given, then puts /dev/null on each of
// standard input, output and error that was closed, so that no file, pipe
// or socket the program opens later (libcurl's, Qt's, the log's) can take
// that number and receive what is meant for the closed stream. Windows:
// nothing to do, as a standard handle is never a number the program's own
// handles take.
void HoldStandardStreams();

// Whether descriptor `fd` was open when the program started, and so is
// something its starter gave it (not the /dev/null HoldStandardStreams put
// in place of a closed one, nor anything the program opened itself).
// Without HoldStandardStreams (a test program) every descriptor counts as
// given.
bool WasGivenAtStartUp(int fd);

#ifndef _WIN32
// Writes `text` to standard error in one write when that can be done without
// waiting, and otherwise drops it: a service's standard error may be a pipe
// or socket that nobody empties, and a status line must never hold up the
// polls. A standard error that was closed at start-up (HoldStandardStreams)
// drops every line. True when all of it was written.
bool WriteStandardErrorWithoutWaiting(const std::string& text);
#endif

// The program's own end: flushes standard output and error, then leaves at
// once with `status`, from wherever it is called (also from inside a fetch's
// event pump), so no code of an interrupted tick and no destructor runs
// afterwards. Nothing else needs saving: the log file is open only inside
// one append, and events are processed there only while it waits for the
// lock (nothing written yet), for the flush to stable storage (the line is
// written and stays with the system) or for a full pipe (only a line
// longer than the pipe's atomic size can then be left cut in the pipe).
[[noreturn]] void EndProcess(int status);

} // namespace vornix7
