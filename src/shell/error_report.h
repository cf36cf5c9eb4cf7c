#pragma once

#include <string>

namespace vornix7 {

// The kind reported for a C++ exception that is not a RuntimeError.
inline constexpr const char* kInternalError = "Internal error";

// Writes RunTimeErrorMessage as one line on standard error, in one write, so
// it cannot interleave with anything else there.
void WriteRuntimeErrorLine(const std::string& kind, const std::string& detail);

// Tells the user, in one line on stderr, that the settings file at `path`
// exists but could not be read (`reason`), so every setting takes its
// default. Not an error: the program carries on.
void ReportUnreadableSettings(const std::string& path, const std::string& reason);

} // namespace vornix7
