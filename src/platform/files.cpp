#include "platform/files.h"

// What reading and replacing files does alike on every system; the system
// calls themselves are in files_posix.cpp and files_windows.cpp.

#include <string_view>
#include <utility>

#include "common/runtime_error.h"
#include "platform/system.h"

namespace vornix7 {

using file_system_calls::ReadPieces;

Result<std::string> ReadFileBytes(const std::string& path, std::size_t maxBytes)
{
    return ReadFileBytesAtSystemPath(PathFromCodePage(path), maxBytes);
}

Result<std::string> ReadFileBytesAtSystemPath(const std::filesystem::path& path, std::size_t maxBytes)
{
    std::string bytes;
    auto read = ReadPieces(path, maxBytes, [&](std::string_view piece) { bytes.append(piece); });
    if (!read.ok()) {
        return read.error();
    }
    if (bytes.size() > maxBytes) {
        bytes.resize(maxBytes);
    }
    return bytes;
}

SystemError file_system_calls::Missing()
{
    return {error_kind::kPathNotFound, "No such file or directory"};
}

bool IsMissing(const SystemError& error)
{
    return std::string_view(error.kind) == error_kind::kPathNotFound;
}

Result<void> ReadFileInChunks(const std::string& path, const std::function<void(std::string_view)>& chunk)
{
    return ReadPieces(PathFromCodePage(path), static_cast<std::size_t>(-1), chunk);
}

Result<void> ReplaceFileWith(const std::string& path, std::string_view bytes)
{
    auto staged = StageNewFile(path);
    if (!staged.ok()) {
        return staged.error();
    }
    // In a folder of our own: nothing but our new file is written.
    if (auto written = file_system_calls::WriteNewFile(staged->path, bytes); !written.ok()) {
        DiscardStagedFile(*staged);
        return written;
    }
    return PutStagedFileInPlace(*staged, path);
}

} // namespace vornix7
