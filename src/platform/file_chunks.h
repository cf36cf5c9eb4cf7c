#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/file_bytes.h"

namespace vornix7 {

// Reads the regular file at `path` (8-bit text in the system's code page)
// from its start, handing each piece read to `chunk` in order, for files too
// large to hold at once. Made for the log while the logger may be appending
// to it: opened for reading with other programs' writes, renames and deletes
// allowed, never locked (the logger's lock is left alone, so the logger is
// never held up) and never waited for (a FIFO or a folder is kUnreadable).
// Reads what the file holds when the read reaches it; a line being appended
// meanwhile may arrive in part. The result's `bytes` stays empty.
FileBytes ReadFileInChunks(const std::string& path, const std::function<void(std::string_view)>& chunk);

} // namespace vornix7
