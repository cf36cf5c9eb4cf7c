#pragma once

// Files and paths: whole and chunked reads, whether a log could be appended
// to, the executable's folder, the default log name, replacing a file.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace vornix7 {

// Reads the regular file at `path` (8-bit text in the system's code page),
// in binary, without ever blocking on it, and gives its first bytes, at
// most `maxBytes`. A file that is not there is told apart from one that is
// there but cannot be read, so the second can be said out loud while both
// leave the settings at their defaults: a path that names nothing (no such
// file or folder, empty text) is IsMissing, with the reason "No such file
// or directory"; a folder, a FIFO or a device is an error with the reason,
// such as "Permission denied", never waited for.
Result<std::string> ReadFileBytes(const std::string& path, std::size_t maxBytes);

// The same for a path in the system's own form (UTF-16 on Windows), such as
// the program's folder, whose name the 8-bit code page may not hold.
Result<std::string> ReadFileBytesAtSystemPath(const std::filesystem::path& path, std::size_t maxBytes);

// Whether a read failed only because nothing is at the path.
bool IsMissing(const SystemError& error);

// Reads the regular file at `path` (8-bit text in the system's code page)
// from its start, handing each piece read to `chunk` in order, for files too
// large to hold at once. Made for the log while the logger may be appending
// to it: opened for reading with other programs' writes, renames and deletes
// allowed, never locked (the logger's lock is left alone, so the logger is
// never held up) and never waited for (a FIFO or a folder is an error).
// Reads what the file holds when the read reaches it; a line being appended
// meanwhile may arrive in part. Fails as ReadFileBytes does.
Result<void> ReadFileInChunks(const std::string& path, const std::function<void(std::string_view)>& chunk);

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
// An error gives the reason in the system's words ("Permission denied",
// "No space left on device", "Is a directory").
Result<void> ReplaceFileWith(const std::string& path, std::string_view bytes);

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
Result<StagedFile> StageNewFile(const std::string& path);
Result<void> PutStagedFileInPlace(const StagedFile& staged, const std::string& path);
void DiscardStagedFile(const StagedFile& staged);

// The system calls the shared file code (files.cpp) is made of, one file per
// system. ReadPieces reads the regular file at `path` from its start, each
// piece to `piece`, until its end or until `limit` bytes have been handed
// over (the last piece may go past it), failing as ReadFileBytes does.
// WriteNewFile creates `path`, which nothing may stand at, holding `bytes`.
// Missing is the error of a path that names nothing, the same on each.
namespace file_system_calls {
SystemError Missing();
Result<void> ReadPieces(const std::filesystem::path& path, std::size_t limit,
                        const std::function<void(std::string_view)>& piece);
Result<void> WriteNewFile(const std::string& path, std::string_view bytes);
} // namespace file_system_calls

} // namespace vornix7
