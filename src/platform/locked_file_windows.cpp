#include "platform/locked_file.h"

#include <windows.h>

#include <string>

#include "common/runtime_error.h"
#include "platform/system.h"

namespace vornix7 {

namespace {

// The append lock is one byte far beyond any log's end: Windows locks keep
// others from reading the locked bytes, and readers must never wait.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEU;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFU;

SystemError LastError(DWORD code = GetLastError())
{
    return ErrorFromSystem(code);
}

// A position in a file as ReadFile and WriteFile take it.
OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32U);
    return at;
}

// Both offsets all ones: a write goes to the file's end, whatever its
// length is by then.
constexpr std::uint64_t kAtEnd = ~std::uint64_t{0};

OVERLAPPED LockRange()
{
    return At((std::uint64_t{kLockOffsetHigh} << 32U) | kLockOffsetLow);
}

} // namespace

Result<bool> LockedFile::TryLock()
{
    OVERLAPPED range = LockRange();
    if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
        locked_ = true;
        return true;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
        return false;
    }
    if (code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION) {
        return true; // a file system without locks
    }
    return LastError(code);
}

Result<void> LockedFile::Unlock()
{
    if (!locked_) {
        return {};
    }
    locked_ = false;
    OVERLAPPED range = LockRange();
    if (!UnlockFileEx(file_, 0, 1, 0, &range)) {
        return LastError();
    }
    return {};
}

Result<std::uint64_t> LockedFile::Size()
{
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file_, &value)) {
        return LastError();
    }
    return static_cast<std::uint64_t>(value.QuadPart);
}

Result<std::size_t> LockedFile::ReadOnce(std::uint64_t offset, char* into, std::size_t count)
{
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    if (!ReadFile(file_, into, static_cast<DWORD>(count), &done, &at)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF) {
            return std::size_t{0};
        }
        return LastError(code);
    }
    return static_cast<std::size_t>(done);
}

Result<std::size_t> LockedFile::WriteAtEnd(std::string_view bytes)
{
    OVERLAPPED atEnd = At(kAtEnd);
    DWORD wrote = 0;
    if (!WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, &atEnd)) {
        return LastError();
    }
    if (wrote == 0 && !bytes.empty()) {
        return LastError(ERROR_DISK_FULL);
    }
    return static_cast<std::size_t>(wrote);
}

Result<void> LockedFile::CutTo(std::uint64_t size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(file_, FileEndOfFileInfo, &end, sizeof end)) {
        return LastError();
    }
    return {};
}

Result<void> LockedFile::Sync(const std::string&, bool)
{
    // A new file's name reaches the disk with the file's own flush here.
    if (!FlushFileBuffers(file_)) {
        return LastError();
    }
    return {};
}

Result<void> LockedFile::Close()
{
    if (!isOpen()) {
        return {};
    }
    const HANDLE file = file_;
    file_ = NoFile();
    if (locked_) {
        OVERLAPPED range = LockRange();
        (void)UnlockFileEx(file, 0, 1, 0, &range);
        locked_ = false;
    }
    if (!CloseHandle(file)) {
        return LastError();
    }
    return {};
}

Result<void> LogAppendFile::Open(const std::string& path)
{
    path_ = path;
    // Appending, cutting back a half line and measuring; others may read,
    // write, rename and delete the file while it is open.
    const HANDLE file =
        CreateFileW(WideFromCodePage(path).c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    created_ = GetLastError() != ERROR_ALREADY_EXISTS;
    file_.Adopt(file);
    const DWORD type = GetFileType(file);
    onDisk_ = type == FILE_TYPE_DISK;
    if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
        return LastError();
    }
    if (type == FILE_TYPE_PIPE) {
        // A full pipe must not hold the program's thread: writes then take
        // what fits, or nothing.
        DWORD mode = PIPE_NOWAIT;
        (void)SetNamedPipeHandleState(file, &mode, nullptr, nullptr);
    }
    return {};
}

Result<std::size_t> LogAppendFile::WriteToStream(std::string_view bytes)
{
    DWORD done = 0;
    if (!WriteFile(file_.native(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr)) {
        return LastError();
    }
    return static_cast<std::size_t>(done);
}

Result<void> LogAppendFile::OpenReader()
{
    // The same file as the handle that writes, whatever its name leads to
    // by now; sharing everything, as the write handle does.
    const HANDLE reader =
        ReOpenFile(file_.native(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (reader == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    reader_.Adopt(reader);
    return {};
}

namespace {

bool SameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second)
           && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber
           && first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

} // namespace

Result<bool> SideFile::Open(const std::string& path, bool create)
{
    path_ = path;
    // Others may read it, but no other logger may open it meanwhile: a
    // file removed while another handle is open stays until that handle
    // closes, and under Wine that handle cannot even tell it was removed, so
    // a line added through it would vanish with it. A second logger's open
    // fails as busy and waits, as it would wait for the lock.
    // FILE_FLAG_OPEN_REPARSE_POINT: a symbolic link or junction at the name
    // is opened itself, never what it leads to, and refused below; a new
    // file is made only where nothing is (CREATE_NEW), so a dangling link
    // never gets its target created.
    const std::wstring name = WideFromCodePage(path);
    constexpr DWORD kAccess = GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_DATA | DELETE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file =
        CreateFileW(name.c_str(), kAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, kFlags, nullptr);
    DWORD code = file == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
    if (code == ERROR_FILE_NOT_FOUND) {
        if (!create) {
            return false;
        }
        file = CreateFileW(name.c_str(), kAccess, FILE_SHARE_READ, nullptr, CREATE_NEW, kFlags, nullptr);
        code = file == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
        created_ = code == NO_ERROR;
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
            file =
                CreateFileW(name.c_str(), kAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, kFlags, nullptr);
            code = file == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
            && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return Refused("a folder stands in its place");
        }
        SystemError error = LastError(code);
        // Open in another logger (a sharing violation), or being removed by
        // one ("Access is denied" until its handle closes).
        error.busy = error.busy || code == ERROR_ACCESS_DENIED;
        return error;
    }
    file_.Adopt(file);
    if (GetFileType(file) != FILE_TYPE_DISK) {
        return Refused("it is not a file on disk (a device or a pipe)");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        return LastError();
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Refused("a symbolic link or another reparse point stands in its place");
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Refused("a folder stands in its place");
    }
    if (info.nNumberOfLinks != 1) {
        return Refused("the file has " + std::to_string(info.nNumberOfLinks) + " hard links");
    }
    return true;
}

Result<bool> SideFile::StillAtPath()
{
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(file_.native(), FileStandardInfo, &info, sizeof info)) {
        return LastError();
    }
    if (info.DeletePending || info.NumberOfLinks == 0) {
        return false;
    }
    const HANDLE named =
        CreateFileW(WideFromCodePage(path_).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return false; // gone, or being removed
    }
    const bool same = SameFile(file_.native(), named);
    CloseHandle(named);
    return same;
}

Result<std::string> SideFile::Identity()
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file_.native(), &info)) {
        return LastError();
    }
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":"
           + std::to_string(info.nFileIndexLow);
}

Result<void> SideFile::Remove()
{
    // Gone when this handle, the only one, closes.
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(file_.native(), FileDispositionInfo, &remove, sizeof remove)) {
        return LastError();
    }
    return {};
}

} // namespace vornix7
