#include <iostream>
#include <string>
#include <vector>

#include "platform/system.h"
#include "tools/check/check_tool.h"

int main(int argc, char** argv)
{
    // The log lines go out byte for byte, CR LF included, as the logger
    // writes them to its file.
    vornix7::PutStandardOutputInBinaryMode();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vornix7::RunCheckTool(args, std::cout, std::cerr);
}
