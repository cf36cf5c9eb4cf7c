#pragma once

// Files and paths: whole and chunked reads, whether a log could be appended
// to, the executable's folder, the default log name, replacing a file.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vornix7 {

// What reading a whole file gave. A file that is not there is told apart
// from one that is there but cannot be read, so the second can be said out
// loud while both leave the settings at their defaults.
struct FileBytes {
    enum class Outcome { kRead, kMissing, kUnreadable };

    Outcome outcome = Outcome::kMissing;
    std::string bytes;   // kRead: the file's first bytes, at most the limit asked for
    std::string problem; // kUnreadable: the reason, such as "Permission denied"
};

// Reads the regular file at `path` (8-bit text in the system's code page),
// in binary, without ever blocking on it: a folder, a FIFO or a device is
// kUnreadable, never waited for. A path that names nothing (no such file or
// folder, empty text) is kMissing.
FileBytes ReadFileBytes(const std::string& path, std::size_t maxBytes);

// The same for a path in the system's own form (UTF-16 on Windows), such as
// the program's folder, whose name the 8-bit code page may not hold.
FileBytes ReadFileBytesAtSystemPath(const std::filesystem::path& path, std::size_t maxBytes);

// Reads the regular file at `path` (8-bit text in the system's code page)
// from its start, handing each piece read to `chunk` in order, for files too
// large to hold at once. Made for the log while the logger may be appending
// to it: opened for reading with other programs' writes, renames and deletes
// allowed, never locked (the logger's lock is left alone, so the logger is
// never held up) and never waited for (a FIFO or a folder is kUnreadable).
// Reads what the file holds when the read reaches it; a line being appended
// meanwhile may arrive in part. The result's `bytes` stays empty.
FileBytes ReadFileInChunks(const std::string& path, const std::function<void(std::string_view)>& chunk);

// What appending a line to the file at `path` would run into.
enum class AppendAccess {
    kPossible,          // the file can be written, or created in its folder
    kFolderMissing,     // the folder it would go in does not exist
    kFolderNotWritable, // the folder exists but no file can be created in it
    kFileNotWritable,   // the file exists but cannot be written
    kNotAFile,          // a folder stands at the path
};

// Found by asking the system about the path, without opening, creating or
// changing anything, so a check can run on a live installation. A relative
// path is taken from the working directory.
AppendAccess AppendAccessAt(const std::string& path);

// Whether anything (a file, a folder, a symbolic link even when it leads
// nowhere, ...) is at `path`.
bool PathExists(const std::string& path);

// The directory of the running executable as the system names it (from
// GetModuleFileNameW on Windows, so a folder whose name the ANSI code page
// cannot hold still finds the files beside the program), with symbolic
// links resolved on POSIX (a link to the program elsewhere still finds the
// settings beside the real file). Without a trailing separator, except for
// a root ("/", "C:\"); empty when it cannot be determined.
std::filesystem::path ExecutableFolder();

// The same as 8-bit text in the system's code page ('?' for what it cannot
// hold), for showing it.
std::string ExecutableDir();

// What start-up puts between that directory and the settings file's name:
// '\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

// The log file when the settings name none. On Windows the historic
// "C:\logfile.txt"; elsewhere that name would be a file called
// "C:\logfile.txt" in the working directory, so a plain relative
// "logfile.txt".
extern const char kDefaultLogfileName[];

// Puts a file holding `bytes` at `path` (8-bit text in the system's code
// page) without ever writing through what stands there: the bytes go to a
// new file in the same folder, created exclusively (never through a link),
// brought to stable storage, and then renamed to `path`. A link at `path`
// is replaced, never followed; a folder, a device, a FIFO at `path`, or a
// link to one of them, is refused. On any failure the new file is removed
// and what stood at `path` is left as it was.
// Returns the reason in the system's words ("Permission denied", "No space
// left on device", "Is a directory"), or nothing when the file is in place.
std::optional<std::string> ReplaceFileWith(const std::string& path, std::string_view bytes);

// The same for a file too large to hold in memory, that a library writes by
// name: StageNewFile makes a new private folder beside `path` (created
// exclusively, open to this user only, so nobody can put a link in the way)
// and gives the name inside it to write to; PutStagedFileInPlace brings that
// file to stable storage and renames it to `path`, refused as above, and
// removes the folder. DiscardStagedFile removes both after a failure.
struct StagedFile {
    std::string folder; // the private folder
    std::string path;   // the file to write, inside it
};
std::optional<std::string> StageNewFile(const std::string& path, StagedFile& staged);
std::optional<std::string> PutStagedFileInPlace(const StagedFile& staged, const std::string& path);
void DiscardStagedFile(const StagedFile& staged);

} // namespace vornix7
