#pragma once

namespace vornix7 {

// The log file when the settings name none. On Windows the historic
// "C:\logfile.txt"; elsewhere that name would be a file called
// "C:\logfile.txt" in the working directory, so a plain relative
// "logfile.txt".
extern const char kDefaultLogfileName[];

} // namespace vornix7
