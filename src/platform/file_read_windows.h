#pragma once

// What the Windows readers of whole files (the settings file, the log read
// by the report) share: the reasons they give and an owned handle.

#include <windows.h>

#include <string>
#include <utility>

#include "platform/file_bytes.h"

namespace vornix7::file_read {

// The same reasons as the POSIX build gives for the usual causes.
inline std::string Reason(DWORD error)
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

inline FileBytes Unreadable(std::string reason)
{
    return FileBytes{FileBytes::Outcome::kUnreadable, {}, std::move(reason)};
}

// A file handle closed when it goes.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

} // namespace vornix7::file_read
