#include "platform/end_process.h"

#include <windows.h>

#include <cstdio>
#include <iostream>

namespace vornix7 {

void EndProcess(int status)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    // TerminateProcess, not ExitProcess: like _exit on POSIX, nothing runs
    // after this, not even the libraries' detach code, which would tear
    // down Qt under the still living window.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    ExitProcess(static_cast<UINT>(status)); // not reached; keeps [[noreturn]] true
}

} // namespace vornix7
