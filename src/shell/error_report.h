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

// The log notice (ShellWindow::ShowLogNotice) for a program without a
// window: one line on standard error when a busy spell starts, one when its
// lines are in the log, nothing for the counts in between; one for lines
// set aside.
class LogNoticeOnStderr {
public:
    void Show(const std::string& text);

    // The line Show writes after `previous` for `text`; empty: none.
    static std::string LineFor(const std::string& previous, const std::string& text);

private:
    std::string previous_;
};

} // namespace vornix7
