#include <windows.h>

#include <string>

#include "common/runtime_error.h"

#include "platform/code_page_windows.h"
#include "platform/side_file.h"

namespace vornix7 {

namespace {

// The same lock byte as the log's: far beyond the end, so readers of the
// file are never held up by it.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEU;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFU;

HANDLE Handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

AppendError LastError()
{
    return AppendErrorFromSystem(GetLastError());
}

OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32U);
    return at;
}

OVERLAPPED LockRange()
{
    OVERLAPPED range{};
    range.Offset = kLockOffsetLow;
    range.OffsetHigh = kLockOffsetHigh;
    return range;
}

AppendStatus SizeOf(HANDLE file, std::uint64_t& size)
{
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file, &value)) {
        return LastError();
    }
    size = static_cast<std::uint64_t>(value.QuadPart);
    return std::nullopt;
}

AppendError Refused(const std::string& why)
{
    return {error_kind::kFileError, why + ": refused, the logger uses only a plain file of its own there"};
}

bool SameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second)
           && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber
           && first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

} // namespace

SideFile::~SideFile()
{
    (void)Close();
}

AppendStatus SideFile::Open(const std::string& path, bool create, bool& missing)
{
    path_ = path;
    missing = false;
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
            missing = true;
            return std::nullopt;
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
        AppendError error = AppendErrorFromSystem(code);
        // Open in another logger (a sharing violation), or being removed by
        // one ("Access is denied" until its handle closes).
        error.busy = error.busy || code == ERROR_ACCESS_DENIED;
        return error;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
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
    return std::nullopt;
}

AppendStatus SideFile::TryLock(bool& taken)
{
    taken = true;
    OVERLAPPED range = LockRange();
    if (LockFileEx(Handle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
        locked_ = true;
        return std::nullopt;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
        taken = false;
        return std::nullopt;
    }
    if (code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION) {
        return std::nullopt; // a file system without locks
    }
    return AppendErrorFromSystem(code);
}

AppendStatus SideFile::StillAtPath(bool& same)
{
    same = false;
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(Handle(handle_), FileStandardInfo, &info, sizeof info)) {
        return LastError();
    }
    if (info.DeletePending || info.NumberOfLinks == 0) {
        return std::nullopt;
    }
    const HANDLE named =
        CreateFileW(WideFromCodePage(path_).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return std::nullopt; // gone, or being removed
    }
    same = SameFile(Handle(handle_), named);
    CloseHandle(named);
    return std::nullopt;
}

AppendStatus SideFile::Identity(std::string& identity)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(Handle(handle_), &info)) {
        return LastError();
    }
    identity = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":"
               + std::to_string(info.nFileIndexLow);
    return std::nullopt;
}

AppendStatus SideFile::Size(std::uint64_t& size)
{
    return SizeOf(Handle(handle_), size);
}

AppendStatus SideFile::ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes)
{
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        OVERLAPPED at = At(offset + got);
        DWORD done = 0;
        if (!ReadFile(Handle(handle_), bytes.data() + got, static_cast<DWORD>(count - got), &done, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            bytes.clear();
            return LastError();
        }
        if (done == 0) {
            break;
        }
        got += done;
    }
    bytes.resize(got);
    return std::nullopt;
}

AppendStatus SideFile::CutTo(std::uint64_t size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(Handle(handle_), FileEndOfFileInfo, &end, sizeof end)) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Append(std::string_view bytes, bool flush)
{
    std::uint64_t before = 0;
    if (auto error = SizeOf(Handle(handle_), before)) {
        return error;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        // Both offsets all ones: at the file's end.
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFFU;
        atEnd.OffsetHigh = 0xFFFFFFFFU;
        DWORD wrote = 0;
        const BOOL ok = WriteFile(Handle(handle_), bytes.data() + done,
                                  static_cast<DWORD>(bytes.size() - done), &wrote, &atEnd);
        if (!ok || wrote == 0) {
            const AppendError error = ok ? AppendErrorFromSystem(ERROR_DISK_FULL) : LastError();
            (void)CutTo(before); // only this process writes while the lock is held
            return error;
        }
        done += wrote;
    }
    return flush ? Flush() : std::nullopt;
}

AppendStatus SideFile::Flush()
{
    if (!FlushFileBuffers(Handle(handle_))) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Remove()
{
    // Gone when this handle, the only one, closes.
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(Handle(handle_), FileDispositionInfo, &remove, sizeof remove)) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Close()
{
    if (handle_ == -1) {
        return std::nullopt;
    }
    const HANDLE file = Handle(handle_);
    handle_ = -1;
    if (locked_) {
        OVERLAPPED range = LockRange();
        (void)UnlockFileEx(file, 0, 1, 0, &range);
        locked_ = false;
    }
    if (!CloseHandle(file)) {
        return LastError();
    }
    return std::nullopt;
}

} // namespace vornix7
