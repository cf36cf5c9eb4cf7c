// vornix7-logger-headless: the logger as a service, with no window and no
// toolkit. The same settings file beside the executable, the same log.
#include <iostream>
#include <string>
#include <vector>

#include "shell/command_line.h"
#include "shell/headless/headless_window.h"
#include "shell/logger_app.h"

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const vornix7::ProgramIdentity identity{
        vornix7::kServiceProgramName,
        "It has no window: the status goes to standard\n"
        "error as ONLINE or OFFLINE when it changes. SIGTERM, SIGINT or SIGHUP end it."};
    if (const auto answered = vornix7::StartProgram(args, std::cout, std::cerr, identity)) {
        return *answered;
    }

    vornix7::HeadlessWindow window;
    return vornix7::RunLogger(window);
}
