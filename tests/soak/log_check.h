#pragma once

#include <string>
#include <vector>

namespace vornix7::soak {

// What the log holds compared with the polls the device saw. Each line is
// traced back to its poll through its time stamp (see TimeFor), so a line
// that is lost, written twice or out of place shows up as such rather than
// as a vague count mismatch.
struct LogReport {
    int lines = 0;                     // lines ended by CR LF
    int malformed = 0;                 // lines not in the log line's form
    int duplicated = 0;                // lines of a poll that already had one
    int outOfOrder = 0;                // lines of a poll earlier than the line before
    int missing = 0;                   // polls without any line
    int wrongContent = 0;              // lines whose fields are not what their poll got
    bool partialTail = false;          // bytes after the last CR LF
    std::vector<std::string> examples; // the first few problems, for the failure message

    bool clean() const
    {
        return malformed == 0 && duplicated == 0 && outOfOrder == 0 && missing == 0 && wrongContent == 0
               && !partialTail;
    }
};

// Checks the log text of `polls` polls run on the ScriptedDevice script.
LogReport CheckLog(const std::string& log, int polls, char timeSeparator);

} // namespace vornix7::soak
