#pragma once

namespace vornix7 {

// True when the system names a display a window could be opened on. Only
// looks; it opens nothing.
bool DisplayAvailable();

} // namespace vornix7
