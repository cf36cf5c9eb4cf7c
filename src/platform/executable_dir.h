#pragma once

#include <filesystem>
#include <string>

namespace vornix7 {

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

} // namespace vornix7
