#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vornix7 {

// Who answers the arguments: the program's name as the user types it, and
// the sentences --help gives about how it shows its state and ends.
struct ProgramIdentity {
    std::string name = "VORNIX7_Logger";
    std::string about = "A small window shows the status; without\n"
                        "a display it runs without one. Exit, closing the window, SIGTERM or SIGINT end it.";
};

// The start of each program's main, before anything opens a file, a pipe
// or a socket: the standard streams held (HoldStandardStreams), then the
// arguments after the program's name answered before any window exists:
// "--help" tells what the program is, the settings file it would read and
// where its log goes; "--version" prints the version; both give 0. Anything
// else prints a one-line usage on `err` and gives 2. None of them touches
// the network or writes a file. nullopt when there are no arguments: the
// write signals are then ignored (IgnoreWriteSignals) and the logger starts.
std::optional<int> StartProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                                const ProgramIdentity& program = {});

} // namespace vornix7
