#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vornix7 {

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
