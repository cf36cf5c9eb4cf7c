#include "platform/executable_dir.h"

#include <windows.h>

#include "platform/code_page.h"

namespace vornix7 {

extern const char kPathSeparator = '\\';

std::filesystem::path ExecutableFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2); // cut off: try a larger buffer
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return {};
    }
    // A drive root keeps its backslash ("C:\"), as the system writes it.
    const bool root = slash > 0 && path[slash - 1] == L':';
    return path.substr(0, root ? slash + 1 : slash);
}

std::string ExecutableDir()
{
    return CodePageFromPath(ExecutableFolder());
}

} // namespace vornix7
