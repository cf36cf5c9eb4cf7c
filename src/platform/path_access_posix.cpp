#include "platform/path_access.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vornix7 {

namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

AppendAccess AppendAccessAt(const std::string& path)
{
    if (path.empty()) {
        return AppendAccess::kFolderMissing; // opening "" fails as a missing file does
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return AppendAccess::kNotAFile;
        }
        return ::access(path.c_str(), W_OK) == 0 ? AppendAccess::kPossible : AppendAccess::kFileNotWritable;
    }
    if (errno == EACCES) {
        return AppendAccess::kFolderNotWritable; // a folder on the way cannot even be searched
    }
    const std::string folder = FolderOf(path);
    const bool folderFound = ::stat(folder.c_str(), &info) == 0;
    if (!folderFound && errno == EACCES) {
        return AppendAccess::kFolderNotWritable;
    }
    if (!folderFound || !S_ISDIR(info.st_mode)) {
        return AppendAccess::kFolderMissing;
    }
    // Creating a file needs write and search permission on its folder.
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? AppendAccess::kPossible
                                                      : AppendAccess::kFolderNotWritable;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0; // a link that leads nowhere is there too
}

} // namespace vornix7
