#include "shell/win32/dpi.h"

#include <cstring>

namespace vornix7::win32 {

namespace {

constexpr UINT kDefaultDpi = 96;
constexpr int kEffectiveDpi = 0; // MDT_EFFECTIVE_DPI

// A function pointer of the type the caller declares, from GetProcAddress's
// untyped one.
template <typename Function>
void Find(const FunctionLookup& lookup, const char* dll, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(lookup(dll, name)));
}

// The system DPI: the screen's LOGPIXELSX, one for all screens on Windows 7.
UINT SystemDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

} // namespace

FARPROC SystemFunction(const char* dll, const char* name)
{
    HMODULE module = nullptr;
    if (std::strcmp(dll, "user32.dll") == 0) {
        module = GetModuleHandleW(L"user32.dll");
    } else if (std::strcmp(dll, "shcore.dll") == 0) {
        // Kept loaded for the process's life. Windows 7 has no shcore.dll
        // (and, without KB2533623, no LOAD_LIBRARY_SEARCH_SYSTEM32 either:
        // the call then fails too, which is the same answer).
        static const HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        module = shcore;
    }
    return module ? GetProcAddress(module, name) : nullptr;
}

Dpi::Dpi(const FunctionLookup& lookup)
{
    Find(lookup, "user32.dll", "GetDpiForWindow", getDpiForWindow_);
    Find(lookup, "user32.dll", "AdjustWindowRectExForDpi", adjustWindowRectExForDpi_);
    Find(lookup, "user32.dll", "SystemParametersInfoForDpi", systemParametersInfoForDpi_);
    Find(lookup, "shcore.dll", "GetDpiForMonitor", getDpiForMonitor_);
    // The three come together (1607); a Windows with only some of them
    // takes the older way for all, so the frame and the font match the DPI.
    if (getDpiForWindow_ && adjustWindowRectExForDpi_ && systemParametersInfoForDpi_) {
        path_ = DpiPath::kPerWindow;
    } else if (getDpiForMonitor_) {
        path_ = DpiPath::kPerMonitor;
    } else {
        path_ = DpiPath::kSystem;
    }
}

UINT Dpi::WindowDpi(HWND window) const
{
    UINT dpi = 0;
    switch (path_) {
    case DpiPath::kPerWindow:
        dpi = getDpiForWindow_(window);
        break;
    case DpiPath::kPerMonitor: {
        UINT dpiY = 0;
        HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        if (FAILED(getDpiForMonitor_(monitor, kEffectiveDpi, &dpi, &dpiY))) {
            dpi = 0;
        }
        break;
    }
    case DpiPath::kSystem:
        break;
    }
    return dpi ? dpi : SystemDpi();
}

SIZE Dpi::FrameSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi) const
{
    RECT frame{0, 0, client.cx, client.cy};
    // Before 1607 the system draws the frame at the system DPI whatever the
    // monitor's (8.1), which is what AdjustWindowRectEx measures.
    const BOOL adjusted = path_ == DpiPath::kPerWindow
                              ? adjustWindowRectExForDpi_(&frame, style, FALSE, exStyle, dpi)
                              : AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    if (!adjusted) {
        frame = RECT{0, 0, client.cx, client.cy};
    }
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

bool Dpi::MessageFont(UINT dpi, LOGFONTW& font) const
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (path_ == DpiPath::kPerWindow) {
        if (!systemParametersInfoForDpi_(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi)) {
            return false;
        }
    } else {
        // At the system DPI; a monitor of another DPI (8.1) scales it.
        if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
            return false;
        }
        const UINT systemDpi = SystemDpi();
        for (LONG* size : {&metrics.lfMessageFont.lfHeight, &metrics.lfMessageFont.lfWidth}) {
            *size = MulDiv(*size, static_cast<int>(dpi), static_cast<int>(systemDpi));
        }
    }
    font = metrics.lfMessageFont;
    return true;
}

} // namespace vornix7::win32
