#pragma once

#include <windows.h>

#include <functional>

namespace vornix7::win32 {

// Finds function `name` in the system DLL `dll` ("user32.dll",
// "shcore.dll"); null when there is none.
using FunctionLookup = std::function<FARPROC(const char* dll, const char* name)>;

// This Windows' own lookup: GetProcAddress on user32.dll, which the program
// imports, and on shcore.dll, loaded from the system folder only (never
// from the program's folder or the current one).
FARPROC SystemFunction(const char* dll, const char* name);

// Where the window's DPI comes from.
enum class DpiPath {
    kPerWindow,  // Windows 10 1607 and later: the window's own DPI
    kPerMonitor, // Windows 8.1: its monitor's DPI, and WM_DPICHANGED
    kSystem,     // Windows 7 (and 8): the system DPI, one for every screen
};

// The window's DPI and what depends on it, on the newest path this Windows
// offers: the window's DPI, the frame around a client area and the message
// font at that DPI.
class Dpi {
public:
    explicit Dpi(const FunctionLookup& lookup = SystemFunction);

    DpiPath path() const { return path_; }

    // The DPI `window` is shown at (96 when the system gives none).
    UINT WindowDpi(HWND window) const;
    // The window's outer size for a client area of `client` pixels at `dpi`.
    SIZE FrameSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi) const;
    // The system's message font (the one its own dialogs use) at `dpi`;
    // false when the system gives none.
    bool MessageFont(UINT dpi, LOGFONTW& font) const;

private:
    // The DPI functions newer than Windows 7, found at run time, so that the
    // program loads on every Windows from 7 SP1 on; each is null where this
    // Windows lacks it. user32.dll, Windows 10 version 1607 and later:
    UINT(WINAPI* getDpiForWindow_)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi_)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* systemParametersInfoForDpi_)(UINT, UINT, void*, UINT, UINT) = nullptr;
    // shcore.dll, Windows 8.1 and later; the second argument is a
    // MONITOR_DPI_TYPE (0: the effective DPI).
    HRESULT(WINAPI* getDpiForMonitor_)(HMONITOR, int, UINT*, UINT*) = nullptr;
    DpiPath path_;
};

} // namespace vornix7::win32
