#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vornix7 {

// What the logger would read and log, without a device:
//   vornix7-check --ini FILE            the seven settings, Key=value each,
//                                       then a "warning: ..." line on the
//                                       error stream per likely mistake
//   vornix7-check --ini FILE PAGE...    one poll per PAGE: a file's bytes
//                                       (an empty file is a failed poll) or
//                                       --failed; prints each line the
//                                       logger would append, byte for byte
// Returns the exit status: 0, 1 after a run-time error (reported exactly as
// the logger reports it), 2 for bad usage, 3 when the settings drew
// warnings (and nothing worse).
int RunCheckTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace vornix7
