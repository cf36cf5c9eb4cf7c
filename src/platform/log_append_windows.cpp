#include <windows.h>

#include <string>

#include "common/runtime_error.h"
#include "platform/code_page_windows.h"
#include "platform/log_append.h"

namespace vornix7 {

namespace {

// The append lock is one byte far beyond any log's end: Windows locks keep
// others from reading the locked bytes, and readers must never wait.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEU;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFU;

HANDLE Handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

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

LogAppendFile::~LogAppendFile()
{
    (void)Close();
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
    handle_ = reinterpret_cast<std::intptr_t>(file);
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
        return std::nullopt;
    }
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
    return ErrorFrom(code);
}

AppendStatus LogAppendFile::Unlock()
{
    if (!locked_) {
        return std::nullopt;
    }
    locked_ = false;
    OVERLAPPED range = LockRange();
    if (!UnlockFileEx(Handle(handle_), 0, 1, 0, &range)) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Size(std::uint64_t& size)
{
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(Handle(handle_), &value)) {
        return LastError();
    }
    size = static_cast<std::uint64_t>(value.QuadPart);
    return std::nullopt;
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
        ok = WriteFile(Handle(handle_), bytes.data(), size, &done, &atEnd);
    } else {
        ok = WriteFile(Handle(handle_), bytes.data(), size, &done, nullptr);
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
    if (reader_ == -1) {
        // The same file as the handle that writes, whatever its name leads
        // to by now; sharing everything, as the write handle does.
        const HANDLE reader = ReOpenFile(Handle(handle_), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
        if (reader == INVALID_HANDLE_VALUE) {
            return LastError();
        }
        reader_ = reinterpret_cast<std::intptr_t>(reader);
    }
    bytes.resize(count);
    std::size_t got = 0;
    while (got < count) {
        OVERLAPPED at{};
        const std::uint64_t from = offset + got;
        at.Offset = static_cast<DWORD>(from & 0xFFFFFFFFU);
        at.OffsetHigh = static_cast<DWORD>(from >> 32U);
        DWORD done = 0;
        if (!ReadFile(Handle(reader_), bytes.data() + got, static_cast<DWORD>(count - got), &done, &at)) {
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
    if (!SetFileInformationByHandle(Handle(handle_), FileEndOfFileInfo, &end, sizeof end)) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Flush()
{
    // Devices (NUL) and pipes refuse the flush and have nothing to flush.
    if (onDisk_ && !FlushFileBuffers(Handle(handle_))) {
        return LastError();
    }
    return std::nullopt;
}

AppendStatus LogAppendFile::Close()
{
    if (reader_ != -1) {
        CloseHandle(Handle(reader_));
        reader_ = -1;
    }
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

AppendError AppendErrorFromSystem(unsigned long code)
{
    return ErrorFrom(static_cast<DWORD>(code));
}

} // namespace vornix7
