#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/control_bytes.h"

namespace vornix7 {

// One of the few errors that end the program: a setting that overflows, a
// sensor index out of range, a log file that cannot be appended to, a
// failing transfer control. Thrown where the error arises and caught only at
// start-up and at the tick, where it is reported and the program ends.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(std::string kind, const std::string& detail)
        : std::runtime_error(kind + ": " + detail), kind_(std::move(kind)), detail_(detail)
    {
    }

    // The kind of error as the user sees it, such as "Overflow".
    const std::string& kind() const { return kind_; }

    // What went wrong, in words for the user.
    const std::string& detail() const { return detail_; }

private:
    std::string kind_;
    std::string detail_;
};

// The window program's name, which its lines on standard error begin with;
// the check tool reports a run-time error as that program would.
inline constexpr const char* kWindowProgramName = "VORNIX7_Logger";

// The one-line message by which `program` reports a run-time error to the
// user. Line breaks in a detail (a path from the settings, say) become
// blanks so the report stays one line.
inline std::string RunTimeErrorMessage(std::string_view program, const std::string& kind,
                                       const std::string& detail)
{
    return ReplaceControlBytes(std::string(program) + ": run-time error: " + kind + ": " + detail,
                               ControlBytes::kLineEnds, ' ');
}

namespace error_kind {
inline constexpr const char* kOverflow = "Overflow";
inline constexpr const char* kSubscriptOutOfRange = "Subscript out of range";
inline constexpr const char* kPathNotFound = "Path not found";
inline constexpr const char* kPermissionDenied = "Permission denied";
inline constexpr const char* kDiskFull = "Disk full";
inline constexpr const char* kFileTooLarge = "File too large"; // beyond the size a file may have here
inline constexpr const char* kFileError = "File I/O error";
} // namespace error_kind

} // namespace vornix7
