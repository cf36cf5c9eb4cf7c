#pragma once

#include <string>

namespace vornix7 {

// The directory of the running executable with symbolic links resolved, so
// a link to the program elsewhere still finds the settings beside the real
// file. Without a trailing "/"; empty when it cannot be determined.
std::string ExecutableDir();

} // namespace vornix7
