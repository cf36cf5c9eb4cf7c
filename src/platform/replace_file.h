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

} // namespace vornix7
