#include "platform/default_log_file.h"

namespace vornix7 {

extern const char kDefaultLogfileName[] = "logfile.txt";

} // namespace vornix7
