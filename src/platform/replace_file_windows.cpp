#include "platform/replace_file.h"

#include <windows.h>

#include <random>

#include "platform/code_page_windows.h"
#include "platform/file_read_windows.h"

namespace vornix7 {

namespace {

std::string Reason(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "No space left on device";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
        return "No such file or directory";
    default:
        return file_read::Reason(error);
    }
}

bool WriteAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

} // namespace

std::optional<std::string> ReplaceFileWith(const std::string& path, std::string_view bytes)
{
    const std::wstring wide = WideFromCodePage(path);
    if (wide.empty() || wide.back() == L'\\' || wide.back() == L'/') {
        return std::string("Is a directory");
    }
    // A link is replaced, not followed; what it leads to is judged as at
    // `path` itself (GetFileAttributes follows it).
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::string("Is a directory");
    }
    const std::size_t slash = wide.find_last_of(L"\\/:");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : wide.substr(0, slash + 1);
    const std::wstring leaf = slash == std::wstring::npos ? wide : wide.substr(slash + 1);

    std::random_device seed;
    std::mt19937_64 random(seed() ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32)
                           ^ GetTickCount64());
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = folder + L"." + leaf + L"." + std::to_wstring(random() % 1000000000u) + L".tmp";
        // CREATE_NEW: a name already there, a link among them, is never opened.
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            return Reason(GetLastError());
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return Reason(ERROR_FILE_EXISTS);
    }
    DWORD error = 0;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        error = ERROR_INVALID_NAME; // a device name such as NUL
    } else if (!WriteAll(file, bytes) || !FlushFileBuffers(file)) {
        error = GetLastError();
    }
    if (!CloseHandle(file) && error == 0) {
        error = GetLastError();
    }
    if (error == 0
        && !MoveFileExW(temporary.c_str(), wide.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
    }
    if (error != 0) {
        DeleteFileW(temporary.c_str());
        return Reason(error);
    }
    return std::nullopt;
}

} // namespace vornix7
