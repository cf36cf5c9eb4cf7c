#include "platform/file_chunks.h"

#include <windows.h>

#include <array>

#include "platform/code_page_windows.h"
#include "platform/file_read_windows.h"

namespace vornix7 {

using file_read::Handle;
using file_read::Reason;
using file_read::Unreadable;

FileBytes ReadFileInChunks(const std::string& path, const std::function<void(std::string_view)>& chunk)
{
    // Shared for reading, writing and deleting, so the logger goes on
    // appending (and the log can be moved) while it is read; the logger's
    // byte lock lies far past the end, where a reader never reads. Backup
    // semantics lets a folder open, so it can be told apart from a file
    // that refuses access.
    const Handle file(CreateFileW(
        WideFromCodePage(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
            return FileBytes{};
        }
        return Unreadable(Reason(error));
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        return Unreadable("Not a regular file");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) {
        return Unreadable(Reason(GetLastError()));
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Unreadable("Is a directory");
    }
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            return Unreadable(Reason(GetLastError()));
        }
        if (n == 0) {
            return FileBytes{FileBytes::Outcome::kRead, {}, {}};
        }
        chunk(std::string_view(buffer.data(), n));
    }
}

} // namespace vornix7
