#include "platform/display.h"

#include <cstdlib>

namespace vornix7 {

namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool DisplayAvailable()
{
    // X11 and Wayland clients find their display only through these; a
    // service, a cron job or an ssh session without forwarding has neither.
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

} // namespace vornix7
