#pragma once

#include <string>

namespace vornix7 {

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

} // namespace vornix7
