#include "platform/end_process.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace vornix7 {

void EndProcess(int status)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}

} // namespace vornix7
