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

// The system's words for `code` in its own code page, without the full
// stop and line end that Windows puts after them.
std::string MessageFor(DWORD code)
{
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, text, sizeof text, nullptr);
    while (length > 0
           && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '
               || text[length - 1] == '.')) {
        --length;
    }
    if (length == 0) {
        return "Windows error " + std::to_string(code);
    }
    return std::string(text, length);
}

AppendError ErrorFrom(DWORD code)
{
    const char* kind = error_kind::kFileError;
    switch (code) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        kind = error_kind::kPathNotFound;
        break;
    case ERROR_SHARING_VIOLATION: // opened by a program that shares no writing (a spreadsheet)
    case ERROR_LOCK_VIOLATION:    // a range of it locked by another program
        return {error_kind::kPermissionDenied, MessageFor(code), true};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        kind = error_kind::kPermissionDenied;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        kind = error_kind::kDiskFull;
        break;
    case ERROR_FILE_TOO_LARGE:
        kind = error_kind::kFileTooLarge;
        break;
    default:
        break;
    }
    return {kind, MessageFor(code)};
}

AppendError LastError()
{
    return ErrorFrom(GetLastError());
}

OVERLAPPED LockRange()
{
    OVERLAPPED range{};
    range.Offset = kLockOffsetLow;
    range.OffsetHigh = kLockOffsetHigh;
    return range;
}

} // namespace

LockedFile::~LockedFile()
{
    (void)Close();
}

void LockedFile::Adopt(NativeFile file)
{
    (void)Close();
    file_ = file;
}

AppendStatus LockedFile::TryLock(bool& taken)
{
    taken = true;
    OVERLAPPED range = LockRange();
    if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
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
    return ErrorFrom(code);
}

AppendStatus LockedFile::Unlock()
{
    if (!locked_) {
        return std::nullopt;
    }
    locked_ = false;
    OVERLAPPED range = LockRange();
    if (!UnlockFileEx(file_, 0, 1, 0, &range)) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus LockedFile::Size(std::uint64_t& size)
{
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file_, &value)) {
        return LastError();
    }
    size = static_cast<std::uint64_t>(value.QuadPart);
    return std::nullopt;
}

AppendStatus LockedFile::Close()
{
    if (!isOpen()) {
        return std::nullopt;
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
    return std::nullopt;
}

AppendStatus LogAppendFile::Open(const std::string& path)
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
    return std::nullopt;
}

AppendStatus LogAppendFile::TryLock(bool& taken)
{
    taken = true;
    if (!onDisk_) {
        return std::nullopt; // a device or a pipe: not locked
    }
    return file_.TryLock(taken);
}

AppendStatus LogAppendFile::Write(std::string_view bytes, std::size_t& written)
{
    written = 0;
    DWORD done = 0;
    BOOL ok = FALSE;
    const auto size = static_cast<DWORD>(bytes.size());
    if (onDisk_) {
        // Both offsets all ones: the write goes to the file's end, whatever
        // its length is by then.
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFFU;
        atEnd.OffsetHigh = 0xFFFFFFFFU;
        ok = WriteFile(file_.native(), bytes.data(), size, &done, &atEnd);
    } else {
        ok = WriteFile(file_.native(), bytes.data(), size, &done, nullptr);
    }
    written = done;
    if (!ok) {
        return LastError();
    }
    if (onDisk_ && written < bytes.size()) {
        return ErrorFrom(ERROR_DISK_FULL);
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes)
{
    bytes.clear();
    if (!reader_.isOpen()) {
        // The same file as the handle that writes, whatever its name leads
        // to by now; sharing everything, as the write handle does.
        const HANDLE reader = ReOpenFile(file_.native(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
        if (reader == INVALID_HANDLE_VALUE) {
            return LastError();
        }
        reader_.Adopt(reader);
    }
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        OVERLAPPED at{};
        const std::uint64_t from = offset + got;
        at.Offset = static_cast<DWORD>(from & 0xFFFFFFFFU);
        at.OffsetHigh = static_cast<DWORD>(from >> 32U);
        DWORD done = 0;
        if (!ReadFile(reader_.native(), bytes.data() + got, static_cast<DWORD>(count - got), &done, &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF) {
                break;
            }
            bytes.clear();
            return ErrorFrom(code);
        }
        if (done == 0) {
            break;
        }
        got += done;
    }
    bytes.resize(got);
    return std::nullopt;
}

AppendStatus LogAppendFile::TakeBack(std::uint64_t size, std::uint64_t added)
{
    std::uint64_t now = 0;
    if (auto error = Size(now)) {
        return error;
    }
    if (now != size + added) {
        return std::nullopt;
    }
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(file_.native(), FileEndOfFileInfo, &end, sizeof end)) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Flush()
{
    // Devices (NUL) and pipes refuse the flush and have nothing to flush.
    if (onDisk_ && !FlushFileBuffers(file_.native())) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Close()
{
    (void)reader_.Close();
    return file_.Close();
}

AppendError AppendErrorFromSystem(unsigned long code)
{
    return ErrorFrom(static_cast<DWORD>(code));
}

namespace {

OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32U);
    return at;
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
    return std::nullopt;
}

AppendStatus SideFile::StillAtPath(bool& same)
{
    same = false;
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(file_.native(), FileStandardInfo, &info, sizeof info)) {
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
    same = SameFile(file_.native(), named);
    CloseHandle(named);
    return std::nullopt;
}

AppendStatus SideFile::Identity(std::string& identity)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file_.native(), &info)) {
        return LastError();
    }
    identity = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":"
               + std::to_string(info.nFileIndexLow);
    return std::nullopt;
}

AppendStatus SideFile::ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes)
{
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        OVERLAPPED at = At(offset + got);
        DWORD done = 0;
        if (!ReadFile(file_.native(), bytes.data() + got, static_cast<DWORD>(count - got), &done, &at)) {
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
    if (!SetFileInformationByHandle(file_.native(), FileEndOfFileInfo, &end, sizeof end)) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Append(std::string_view bytes, bool flush)
{
    std::uint64_t before = 0;
    if (auto error = Size(before)) {
        return error;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        // Both offsets all ones: at the file's end.
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFFU;
        atEnd.OffsetHigh = 0xFFFFFFFFU;
        DWORD wrote = 0;
        const BOOL ok = WriteFile(file_.native(), bytes.data() + done,
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
    if (!FlushFileBuffers(file_.native())) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus SideFile::Remove()
{
    // Gone when this handle, the only one, closes.
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(file_.native(), FileDispositionInfo, &remove, sizeof remove)) {
        return LastError();
    }
    return std::nullopt;
}

} // namespace vornix7
