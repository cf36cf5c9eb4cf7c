#include "platform/display.h"

namespace vornix7 {

bool DisplayAvailable()
{
    // Every Windows session, a service's included, has a desktop to draw on.
    return true;
}

} // namespace vornix7
