#include "platform/path_access.h"

#include "platform/code_page_windows.h"

#include <windows.h>

#include <vector>

namespace vornix7 {

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

class Handle {
public:
    Handle() = default;
    ~Handle()
    {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE* out() { return &handle_; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

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

} // namespace vornix7
