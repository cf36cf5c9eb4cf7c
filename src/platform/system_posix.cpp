#include "platform/system.h"

#include "common/result.h"
#include "common/runtime_error.h"
#include "common/utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

namespace vornix7 {

namespace {

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string CodePageFromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10)
                               + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            AppendUtf8(out, c);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            out += '?';
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string CodePageFromUtf8(std::string_view text)
{
    return std::string(text);
}

std::filesystem::path PathFromCodePage(std::string_view text)
{
    return std::filesystem::path(std::string(text));
}

std::string CodePageFromPath(const std::filesystem::path& path)
{
    return path.native();
}

CodePageKind SystemCodePageKind()
{
    return CodePageKind::kUtf8;
}

std::tm LocalTime(std::time_t seconds)
{
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

namespace {

// The separator is the first character after the hour field of the time
// format ("%H:%M:%S" gives ':', "%H.%M.%S" gives '.').
char SeparatorIn(std::string_view format)
{
    for (std::size_t i = 0; i + 2 < format.size(); ++i) {
        if (format[i] == '%'
            && (format[i + 1] == 'H' || format[i + 1] == 'I' || format[i + 1] == 'k'
                || format[i + 1] == 'l')) {
            const char c = format[i + 2];
            return IsUsableTimeSeparator(c) ? c : ':';
        }
    }
    return ':';
}

} // namespace

std::optional<char> TimeSeparatorOfLocale(const std::string& name)
{
    locale_t locale = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        return std::nullopt;
    }
    const char* format = nl_langinfo_l(T_FMT, locale);
    const char separator = format ? SeparatorIn(format) : ':';
    freelocale(locale);
    return separator;
}

namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool DisplayAvailable()
{
    // X11 and Wayland clients find their display only through these; a
    // service, a cron job or an ssh session without forwarding has neither.
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

namespace {

// Written once, by HoldStandardStreams on the main thread before anything
// else runs; only read afterwards.
bool noted = false;
std::vector<int> given; // sorted

bool IsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

} // namespace

void PutStandardOutputInBinaryMode() {}

void HoldStandardStreams()
{
    given.clear();
    for (int fd = 0; fd <= 2; ++fd) {
        if (IsOpen(fd)) {
            given.push_back(fd);
            continue;
        }
        // The lowest free number: this one, as those below are open.
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    // Descriptors above 2 that the starter passed on (`3>file`, a socket of
    // the service manager). Listed after the three are held, so the
    // listing's own descriptor cannot be one of them.
    if (DIR* const folder = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(folder);
        while (const dirent* entry = ::readdir(folder)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && *end == '\0' && fd > 2 && fd != own && fd < 1L << 30) {
                given.push_back(static_cast<int>(fd));
            }
        }
        ::closedir(folder);
    }
    std::sort(given.begin(), given.end());
    noted = true;
}

bool WasGivenAtStartUp(int fd)
{
    return !noted || std::binary_search(given.begin(), given.end(), fd);
}

bool WriteStandardErrorWithoutWaiting(const std::string& text)
{
    // Ready for writing means a pipe has a free page and a socket room for
    // more: a short line then goes in one write without blocking. The
    // descriptor's own mode is shared with other processes (a terminal),
    // so it is not made non-blocking. A standard error closed at start-up
    // gets nothing: its number is /dev/null now.
    if (!WasGivenAtStartUp(STDERR_FILENO)) {
        return false;
    }
    pollfd ready{STDERR_FILENO, POLLOUT, 0};
    int polled = 0;
    do {
        polled = ::poll(&ready, 1, 0);
    } while (polled < 0 && errno == EINTR);
    if (polled != 1 || (ready.revents & POLLOUT) == 0 || (ready.revents & (POLLERR | POLLNVAL)) != 0) {
        return false;
    }
    ssize_t written = 0;
    do {
        written = ::write(STDERR_FILENO, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(text.size());
}

void EndProcess(int status)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}

SystemError ErrorFromSystem(unsigned long code)
{
    const int error = static_cast<int>(code);
    const char* kind = error_kind::kFileError;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        kind = error_kind::kPathNotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        kind = error_kind::kPermissionDenied;
        break;
    case ENOSPC:
    case EDQUOT:
        kind = error_kind::kDiskFull;
        break;
    case EFBIG:
        kind = error_kind::kFileTooLarge;
        break;
    default:
        break;
    }
    return {kind, std::strerror(error)};
}

} // namespace vornix7
