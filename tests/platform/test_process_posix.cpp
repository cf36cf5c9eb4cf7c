#include "test_process.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vornix7::test {

long PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

int OpenHandles()
{
    int count = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error))
        ++count;
    return error ? -1 : count;
}

void SetEnvironment(const char* name, const std::string& value)
{
    ::setenv(name, value.c_str(), 1);
}

void UnsetEnvironment(const char* name)
{
    ::unsetenv(name);
}

bool ResetCanReadAsOrderlyEnd()
{
    return false;
}

} // namespace vornix7::test
