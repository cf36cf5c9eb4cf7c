#include "platform/system.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <climits>
#include <cstdio>
#include <iostream>
#include <string>

#include "common/result.h"
#include "common/runtime_error.h"

namespace vornix7 {

namespace {

// Longer texts than an int can count are cut; no path or settings file of
// this program comes near.
int CountOf(std::size_t size)
{
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

} // namespace

std::string CodePageFromWide(std::wstring_view text)
{
    if (text.empty()) {
        return {};
    }
    // No best-fit mapping: a character without its own place in the code
    // page becomes '?', never a look-alike such as '\' or '"'. With UTF-8 as
    // the ANSI code page neither flag nor default character is allowed.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* const fallback = utf8 ? nullptr : "?";
    const int count = CountOf(text.size());
    const int size = WideCharToMultiByte(CP_ACP, flags, text.data(), count, nullptr, 0, fallback, nullptr);
    if (size <= 0) {
        return std::string(text.size(), '?');
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), count, out.data(), size, fallback, nullptr);
    return out;
}

std::wstring WideFromCodePage(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int count = CountOf(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), count, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), count, out.data(), size);
    return out;
}

std::string CodePageFromUtf16(std::u16string_view text)
{
    // wchar_t is a UTF-16 code unit on Windows.
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return CodePageFromWide(std::wstring(text.begin(), text.end()));
}

std::string CodePageFromUtf8(std::string_view text)
{
    if (text.empty() || GetACP() == CP_UTF8) {
        return std::string(text);
    }
    // Without MB_ERR_INVALID_CHARS each malformed byte becomes U+FFFD, which
    // no ANSI code page holds: '?' in the end.
    const int count = CountOf(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), count, nullptr, 0);
    if (size <= 0) {
        return std::string(text.size(), '?');
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), count, wide.data(), size);
    return CodePageFromWide(wide);
}

std::filesystem::path PathFromCodePage(std::string_view text)
{
    return std::filesystem::path(WideFromCodePage(text));
}

std::string CodePageFromPath(const std::filesystem::path& path)
{
    return CodePageFromWide(path.native());
}

CodePageKind SystemCodePageKind()
{
    return GetACP() == CP_UTF8 ? CodePageKind::kUtf8 : CodePageKind::kOther;
}

std::tm LocalTime(std::time_t seconds)
{
    std::tm local{};
    localtime_s(&local, &seconds);
    return local;
}

std::optional<char> TimeSeparatorOfLocale(const std::string& name)
{
    const std::wstring wideName = WideFromCodePage(name);
    wchar_t separator[8] = {};
    const int length = GetLocaleInfoEx(name.empty() ? LOCALE_NAME_USER_DEFAULT : wideName.c_str(),
                                       LOCALE_STIME, separator, sizeof separator / sizeof separator[0]);
    if (length == 0) {
        return std::nullopt; // no such locale
    }
    // One ASCII character, like the POSIX rule; anything else keeps ':'.
    if (length != 2 || separator[0] >= 0x80 || !IsUsableTimeSeparator(static_cast<char>(separator[0]))) {
        return ':';
    }
    return static_cast<char>(separator[0]);
}

bool DisplayAvailable()
{
    // Every Windows session, a service's included, has a desktop to draw on.
    return true;
}

void PutStandardOutputInBinaryMode()
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

void HoldStandardStreams() {}

bool WasGivenAtStartUp(int /*fd*/)
{
    return true;
}

void EndProcess(int status)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    // TerminateProcess, not ExitProcess: like _exit on POSIX, nothing runs
    // after this, neither static destructors nor the DLLs' detach code
    // (libcurl's, the C runtime's), which would otherwise run under a tick
    // interrupted half-way, e.g. from inside a fetch's event pump.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    ExitProcess(static_cast<UINT>(status)); // not reached; keeps [[noreturn]] true
}

namespace {

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

} // namespace

SystemError ErrorFromSystem(unsigned long code)
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

} // namespace vornix7
