#include "platform/executable_dir.h"

#include <unistd.h>

namespace vornix7 {

extern const char kPathSeparator = '/';

std::filesystem::path ExecutableFolder()
{
    // The kernel's link is the executable's path with every link resolved.
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ExecutableDir()
{
    return ExecutableFolder().native();
}

} // namespace vornix7
