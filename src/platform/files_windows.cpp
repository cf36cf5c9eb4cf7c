#include "platform/files.h"

#include <windows.h>

#include <array>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/runtime_error.h"
#include "platform/system.h"

namespace vornix7 {

namespace {

// The same reasons as the POSIX build gives for the usual causes.
std::string Reason(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "In use by another program";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "Too many open files";
    default:
        return "Windows error " + std::to_string(error);
    }
}

// A file that is there but cannot be read.
SystemError Unreadable(std::string reason)
{
    return {error_kind::kFileError, std::move(reason)};
}

// A handle (a file's, a token's) closed when it goes.
class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle()
    {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE* out() { return &handle_; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

} // namespace

// Shared for reading, writing and deleting, so an editor holding the file open does
// not stop the program and the logger goes on appending (and the log can be
// moved) while it is read; the logger's byte lock lies far past the end,
// where a reader never reads. Backup semantics lets a folder open, so it
// can be told apart from a file that refuses access.
Result<void> file_system_calls::ReadPieces(const std::filesystem::path& path, std::size_t limit,
                                           const std::function<void(std::string_view)>& piece)
{
    const Handle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
            return file_system_calls::Missing();
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
    for (std::size_t handed = 0; handed < limit;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            return Unreadable(Reason(GetLastError()));
        }
        if (n == 0) {
            break;
        }
        piece(std::string_view(buffer.data(), n));
        handed += n;
    }
    return {};
}

namespace {

// The folder a file would be created in: "C:\" for "C:\log.txt", "C:" (the
// drive's current folder) for "C:log.txt", "." for "log.txt".
std::wstring FolderOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    const bool drive = path.size() >= 2 && path[1] == L':';
    if (slash == std::wstring::npos) {
        return drive ? path.substr(0, 2) : L".";
    }
    if (slash == 0 || (drive && slash == 2)) {
        return path.substr(0, slash + 1);
    }
    return path.substr(0, slash);
}

// Whether this process holds `right` on `path`, asked of its access control
// list (the read-only attribute means nothing on a folder). When the system
// cannot be asked, the answer is yes: a check must not warn about what it
// could not find out.
bool Allows(const std::wstring& path, DWORD right)
{
    constexpr SECURITY_INFORMATION kWanted =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), kWanted, nullptr, 0, &needed);
    if (needed == 0) {
        return true;
    }
    std::vector<unsigned char> descriptor(needed);
    if (!GetFileSecurityW(path.c_str(), kWanted, descriptor.data(), needed, &needed)) {
        return true;
    }
    Handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, token.out())) {
        return true;
    }
    Handle impersonation;
    if (!DuplicateToken(token.get(), SecurityImpersonation, impersonation.out())) {
        return true;
    }
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD desired = right;
    MapGenericMask(&desired, &mapping);
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = TRUE;
    if (!AccessCheck(descriptor.data(), impersonation.get(), desired, &mapping, &privileges, &privilegesSize,
                     &granted, &allowed)) {
        return true;
    }
    return allowed != FALSE;
}

} // namespace

AppendAccess AppendAccessAt(const std::string& path)
{
    if (path.empty()) {
        return AppendAccess::kFolderMissing; // opening "" fails as a missing file does
    }
    const std::wstring wide = WideFromCodePage(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return AppendAccess::kNotAFile;
        }
        const bool writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0 && Allows(wide, FILE_APPEND_DATA);
        return writable ? AppendAccess::kPossible : AppendAccess::kFileNotWritable;
    }
    if (GetLastError() == ERROR_ACCESS_DENIED) {
        return AppendAccess::kFolderNotWritable;
    }
    const std::wstring folder = FolderOf(wide);
    const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError() == ERROR_ACCESS_DENIED ? AppendAccess::kFolderNotWritable
                                                     : AppendAccess::kFolderMissing;
    }
    if ((folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return AppendAccess::kFolderMissing;
    }
    return Allows(folder, FILE_ADD_FILE) ? AppendAccess::kPossible : AppendAccess::kFolderNotWritable;
}

bool PathExists(const std::string& path)
{
    return !path.empty() && GetFileAttributesW(WideFromCodePage(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

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

extern const char kDefaultLogfileName[] = "C:\\logfile.txt";

namespace {

std::string WriteReason(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "No space left on device";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
        return "No such file or directory";
    default:
        return Reason(error);
    }
}

// The same words as the POSIX build gives for the usual causes, of the
// kind the system's code is.
SystemError Problem(DWORD error)
{
    return {ErrorFromSystem(error).kind, WriteReason(error)};
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
// it leads to, as GetFileAttributes follows it).
Result<void> Refusal(const std::wstring& wide)
{
    const DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (wide.empty() || wide.back() == L'\\' || wide.back() == L'/'
        || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
        return SystemError{error_kind::kFileError, "Is a directory"};
    }
    return {};
}

std::mt19937_64 Random()
{
    std::random_device seed;
    return std::mt19937_64(seed() ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32)
                           ^ GetTickCount64());
}

} // namespace

Result<StagedFile> StageNewFile(const std::string& path)
{
    const std::wstring wide = WideFromCodePage(path);
    if (auto refused = Refusal(wide); !refused.ok()) {
        return refused.error();
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
            return StagedFile{candidate, candidate + "\\" + leaf};
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return Problem(GetLastError());
        }
    }
    return Problem(ERROR_ALREADY_EXISTS);
}

Result<void> PutStagedFileInPlace(const StagedFile& staged, const std::string& path)
{
    const std::wstring wide = WideFromCodePage(path);
    const std::wstring from = WideFromCodePage(staged.path);
    Result<void> done = Refusal(wide);
    if (done.ok()) {
        const HANDLE file = CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE || !FlushFileBuffers(file)) {
            done = Problem(GetLastError());
        }
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    if (done.ok()
        && !MoveFileExW(from.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        done = Problem(GetLastError());
    }
    DiscardStagedFile(staged);
    return done;
}

void DiscardStagedFile(const StagedFile& staged)
{
    DeleteFileW(WideFromCodePage(staged.path).c_str());
    RemoveDirectoryW(WideFromCodePage(staged.folder).c_str());
}

Result<void> file_system_calls::WriteNewFile(const std::string& path, std::string_view bytes)
{
    // CREATE_NEW: a new file, never one already there.
    const HANDLE file = CreateFileW(WideFromCodePage(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
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
    return error != 0 ? Problem(error) : Result<void>();
}

} // namespace vornix7
