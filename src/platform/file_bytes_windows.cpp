#include "platform/file_bytes.h"

#include <windows.h>

#include "platform/code_page.h"
#include "platform/file_read_windows.h"

namespace vornix7 {

using file_read::Handle;
using file_read::Reason;
using file_read::Unreadable;

FileBytes ReadFileBytes(const std::string& path, std::size_t maxBytes)
{
    return ReadFileBytesAtSystemPath(PathFromCodePage(path), maxBytes);
}

FileBytes ReadFileBytesAtSystemPath(const std::filesystem::path& path, std::size_t maxBytes)
{
    // Shared for reading, writing and deleting, so an editor holding the
    // file open does not stop the program; backup semantics lets a folder
    // open, so it can be told apart from a file that refuses access.
    const Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
            return FileBytes{};
        }
        return Unreadable(Reason(error));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        return Unreadable("Not a regular file");
    }
    if (!GetFileInformationByHandle(file.get(), &info)) {
        return Unreadable(Reason(GetLastError()));
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Unreadable("Is a directory");
    }
    FileBytes result{FileBytes::Outcome::kRead, {}, {}};
    char buffer[65536];
    while (result.bytes.size() < maxBytes) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
            return Unreadable(Reason(GetLastError()));
        }
        if (n == 0) {
            break;
        }
        result.bytes.append(buffer, n);
    }
    if (result.bytes.size() > maxBytes) {
        result.bytes.resize(maxBytes);
    }
    return result;
}

} // namespace vornix7
