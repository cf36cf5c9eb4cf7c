#include "platform/standard_output.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace vornix7 {

void PutStandardOutputInBinaryMode()
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

void HoldStandardStreams() {}

bool WasGivenAtStartUp(int /*fd*/)
{
    return true;
}

} // namespace vornix7
