#pragma once

#include <string>

namespace vornix7 {

// The directory of the running executable, in the system's 8-bit code page,
// with symbolic links resolved on POSIX (a link to the program elsewhere
// still finds the settings beside the real file). Without a trailing
// separator, except for a root ("/", "C:\"); empty when it cannot be
// determined.
std::string ExecutableDir();

// What start-up puts between that directory and the settings file's name:
// '\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

} // namespace vornix7
