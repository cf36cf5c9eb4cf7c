#include <iostream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tools/report/report_tool.h"

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The chart library is installed beside the tool.
    return vornix7::RunReportTool(args, vornix7::ExecutableFolder(), std::cout, std::cerr);
}
