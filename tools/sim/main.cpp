// vornix7-sim: a stand-in VORNIX7 device for tests and demos (see --help).
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "connection.h"
#include "options.h"
#include "server.h"

namespace {

const vornix7::sim::StopSignal* g_stop = nullptr;

extern "C" void OnSignal(int)
{
    if (g_stop)
        g_stop->Request();
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vornix7::sim;

    const std::string program = argc > 0 ? argv[0] : "vornix7-sim";
    const ParseResult parsed = ParseOptions(std::vector<std::string>(argv + (argc > 0), argv + argc));
    if (parsed.kind == ParseResult::Kind::Help) {
        std::cout << HelpText(program);
        return 0;
    }
    if (parsed.kind == ParseResult::Kind::Error) {
        std::cerr << program << ": " << parsed.error << "\nTry --help.\n";
        return 2;
    }
    const Options& options = parsed.options;

    try {
        StopSignal stop;
        g_stop = &stop;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        std::signal(SIGPIPE, SIG_IGN);

        Server server(options, options.quiet ? nullptr : &std::cerr);
        const auto port = server.Listen();
        // Tests wait for exactly this line, so it must be flushed at once.
        std::cout << "listening on 127.0.0.1:" << port << std::endl;
        server.Run(stop);
        g_stop = nullptr;
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
