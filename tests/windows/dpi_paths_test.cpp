// The window's sizes on each of the DPI helper's paths. Wine exports every
// newer DPI function whatever Windows it reports, so the lookup is made to
// report them missing, as Windows 7, 8 and 8.1 would; the window's DPI
// comes from a fake GetDpiForWindow or GetDpiForMonitor on the newer paths,
// from the system on Windows 7's (scripts/test-windows.sh runs this program
// at 96 and at 144 DPI).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "shell/win32/dpi.h"
#include "shell/win32/main_window.h"

namespace vornix7::win32 {
namespace {

UINT fakeDpi = 96;

UINT WINAPI FakeGetDpiForWindow(HWND)
{
    return fakeDpi;
}

HRESULT WINAPI FakeGetDpiForMonitor(HMONITOR, int, UINT* x, UINT* y)
{
    *x = fakeDpi;
    *y = fakeDpi;
    return S_OK;
}

struct PathCase {
    const char* name;
    std::set<std::string> missing; // what the lookup reports missing
    DpiPath path;
};

const PathCase kPaths[] = {
    {"Windows10Version1607", {}, DpiPath::kPerWindow},
    {"Windows81",
     {"GetDpiForWindow", "AdjustWindowRectExForDpi", "SystemParametersInfoForDpi"},
     DpiPath::kPerMonitor},
    {"OnlyPartOf1607sFunctions", {"SystemParametersInfoForDpi"}, DpiPath::kPerMonitor},
    {"Windows7",
     {"GetDpiForWindow", "AdjustWindowRectExForDpi", "SystemParametersInfoForDpi", "GetDpiForMonitor"},
     DpiPath::kSystem},
};

FunctionLookup LookupFor(const PathCase& c)
{
    return [&c](const char* dll, const char* name) -> FARPROC {
        const std::string function = name;
        if (c.missing.count(function) != 0) {
            return nullptr;
        }
        if (function == "GetDpiForWindow") {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FakeGetDpiForWindow));
        }
        if (function == "GetDpiForMonitor") {
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FakeGetDpiForMonitor));
        }
        return SystemFunction(dll, name);
    };
}

// Pixels of 4170 x 960 twips for the window, 2760/120/1275/315 for Exit and
// 60/540/3975/315 for the label (left, top, width, height), rounded.
struct Expected {
    UINT dpi;
    SIZE client;
    RECT exit; // left, top, width, height
    RECT label;
};

const Expected kAt96{96, {278, 64}, {184, 8, 85, 21}, {4, 36, 265, 21}};
const Expected kAt144{144, {417, 96}, {276, 12, 128, 32}, {6, 54, 398, 32}};

// The screen's DPI, as a program that is not DPI-aware in any way reads it.
UINT ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

BOOL CALLBACK TakeMainWindow(HWND window, LPARAM out)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == L"VORNIX7_Logger.main") {
        *reinterpret_cast<HWND*>(out) = window;
        return FALSE;
    }
    return TRUE;
}

// The window of this thread's MainWindow.
HWND OwnWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), TakeMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND Child(HWND window, const wchar_t* className)
{
    return FindWindowExW(window, nullptr, className, nullptr);
}

std::string Describe(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) + "x"
           + std::to_string(r.bottom);
}

// A control's place in the window's client area: left, top, width, height.
RECT PlaceOf(HWND control, HWND window)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return RECT{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

LONG FontHeight(HWND control)
{
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    GetObjectW(handle, sizeof(font), &font);
    return std::labs(font.lfHeight);
}

void ExpectLayout(HWND window, const Expected& want)
{
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, want.client.cx) << "client width at " << want.dpi << " DPI";
    EXPECT_EQ(client.bottom, want.client.cy) << "client height at " << want.dpi << " DPI";
    HWND exit = Child(window, L"Button");
    HWND label = Child(window, L"Static");
    ASSERT_TRUE(exit && label);
    EXPECT_EQ(Describe(PlaceOf(exit, window)), Describe(want.exit)) << "Exit at " << want.dpi << " DPI";
    EXPECT_EQ(Describe(PlaceOf(label, window)), Describe(want.label)) << "lBla at " << want.dpi << " DPI";
    // The message font as the system has it, at the window's DPI.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0));
    const LONG height = MulDiv(std::labs(metrics.lfMessageFont.lfHeight), static_cast<int>(want.dpi),
                               static_cast<int>(ScreenDpi()));
    EXPECT_EQ(FontHeight(exit), height) << "Exit's font at " << want.dpi << " DPI";
    EXPECT_EQ(FontHeight(label), height) << "lBla's font at " << want.dpi << " DPI";
}

struct DpiCase {
    const PathCase* path;
    const Expected* at;
};

void PrintTo(const DpiCase& c, std::ostream* out)
{
    *out << c.path->name << " at " << c.at->dpi << " DPI";
}

class DpiPathTest : public testing::TestWithParam<DpiCase> {};

TEST_P(DpiPathTest, ClientAreaAndControlsAreTheirTwipsAtTheWindowsDpi)
{
    const PathCase& c = *GetParam().path;
    const Expected& want = *GetParam().at;
    if (c.path == DpiPath::kSystem && ScreenDpi() != want.dpi) {
        GTEST_SKIP() << "the system DPI is " << ScreenDpi() << ", not " << want.dpi;
    }
    fakeDpi = want.dpi;
    MainWindow main(
        GetModuleHandleW(nullptr), 1000, [](int) {}, Dpi(LookupFor(c)));
    HWND window = OwnWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Dpi(LookupFor(c)).path(), c.path);
    ExpectLayout(window, want);

    // Moved to a screen of the other DPI: Windows 8.1 and later say so.
    if (c.path != DpiPath::kSystem) {
        const Expected& other = want.dpi == 96 ? kAt144 : kAt96;
        fakeDpi = other.dpi;
        RECT suggested{100, 100, 100 + other.client.cx, 100 + other.client.cy};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(other.dpi, other.dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        ExpectLayout(window, other);
        RECT frame{};
        GetWindowRect(window, &frame);
        EXPECT_EQ(frame.left, 100);
        EXPECT_EQ(frame.top, 100);
    }
}

std::vector<DpiCase> AllCases()
{
    std::vector<DpiCase> cases;
    for (const PathCase& path : kPaths) {
        cases.push_back({&path, &kAt96});
        cases.push_back({&path, &kAt144});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Paths, DpiPathTest, testing::ValuesIn(AllCases()), [](const auto& info) {
    return std::string(info.param.path->name) + "At" + std::to_string(info.param.at->dpi) + "Dpi";
});

// Under Wine, as on Windows 10 1607 and later, this system's own lookup
// finds the newest functions.
TEST(DpiLookupTest, TheSystemsOwnLookupFindsThePerWindowFunctions)
{
    EXPECT_EQ(Dpi().path(), DpiPath::kPerWindow);
    EXPECT_EQ(SystemFunction("user32.dll", "NoSuchFunction"), nullptr);
    EXPECT_EQ(SystemFunction("nosuch.dll", "GetDpiForWindow"), nullptr);
}

} // namespace
} // namespace vornix7::win32
