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

// What stands at `path` and may not be replaced (a link is judged by what
// it leads to, as GetFileAttributes follows it), or nothing.
std::optional<std::string> Refusal(const std::wstring& wide)
{
    if (wide.empty() || wide.back() == L'\\' || wide.back() == L'/') {
        return std::string("Is a directory");
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::string("Is a directory");
    }
    return std::nullopt;
}

std::mt19937_64 Random()
{
    std::random_device seed;
    return std::mt19937_64(seed() ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32)
                           ^ GetTickCount64());
}

} // namespace

std::optional<std::string> StageNewFile(const std::string& path, StagedFile& staged)
{
    const std::wstring wide = WideFromCodePage(path);
    if (auto refused = Refusal(wide)) {
        return refused;
    }
    const std::size_t slash = path.find_last_of("\\/:");
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    std::mt19937_64 random = Random();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            folder + "." + leaf + "." + std::to_string(random() % 1000000000u) + ".tmp";
        // A new folder, never one already there (nor a link by that name).
        if (CreateDirectoryW(WideFromCodePage(candidate).c_str(), nullptr)) {
            staged = {candidate, candidate + "\\" + leaf};
            return std::nullopt;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return Reason(GetLastError());
        }
    }
    return Reason(ERROR_ALREADY_EXISTS);
}

std::optional<std::string> PutStagedFileInPlace(const StagedFile& staged, const std::string& path)
{
    const std::wstring wide = WideFromCodePage(path);
    const std::wstring from = WideFromCodePage(staged.path);
    std::optional<std::string> problem = Refusal(wide);
    if (!problem) {
        const HANDLE file = CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE || !FlushFileBuffers(file)) {
            problem = Reason(GetLastError());
        }
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    if (!problem
        && !MoveFileExW(from.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        problem = Reason(GetLastError());
    }
    DiscardStagedFile(staged);
    return problem;
}

void DiscardStagedFile(const StagedFile& staged)
{
    DeleteFileW(WideFromCodePage(staged.path).c_str());
    RemoveDirectoryW(WideFromCodePage(staged.folder).c_str());
}

std::optional<std::string> ReplaceFileWith(const std::string& path, std::string_view bytes)
{
    StagedFile staged;
    if (auto problem = StageNewFile(path, staged)) {
        return problem;
    }
    // CREATE_NEW in a folder of our own: nothing but our new file is written.
    const HANDLE file = CreateFileW(WideFromCodePage(staged.path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file != INVALID_HANDLE_VALUE) {
        if (GetFileType(file) != FILE_TYPE_DISK) {
            error = ERROR_INVALID_NAME; // a device name such as NUL
        } else if (!WriteAll(file, bytes)) {
            error = GetLastError();
        }
        if (!CloseHandle(file) && error == 0) {
            error = GetLastError();
        }
    }
    if (error != 0) {
        DiscardStagedFile(staged);
        return Reason(error);
    }
    return PutStagedFileInPlace(staged, path);
}

} // namespace vornix7
