// window_probe.exe: plays the user of VORNIX7_Logger.exe for the end-to-end
// runs under Wine (tests/windows/e2e.sh). It finds the logger's window
// by its caption, reads it, ends it as a user would, and clicks away its
// message box, so no run waits for a person. Every wait is bounded by the
// milliseconds given. Prints key=value lines; exit status 0 when the thing
// waited for happened, 1 when it did not in time, 2 for bad usage.
//
//   window_probe shown MS            the window is shown: client=WxH iconic=0|1 dpi=N label=TEXT
//   window_probe status TEXT MS      the status label reads TEXT: after_ms=N
//   window_probe give-up MS          the next fetch, from "Downloading..." to its end:
//                                    offline_after_ms=N label=TEXT
//   window_probe end HOW MS          HOW = close (WM_CLOSE), click (BM_CLICK on Exit), enter or
//                                    space (the key, to the focused Exit button); then waits for
//                                    the process: ended_after_ms=N exit_status=S
//   window_probe press-ok MS         the error message box: message=TEXT, then presses its OK
//   window_probe hold-lock FILE MS   holds FILE's append lock as another logger writing a line
//                                    would: locked=1, then MS milliseconds later lets go
//   window_probe windows             the Windows version programs are told: version=MAJOR.MINOR
//
// A test tool, run only under Wine: it reads the window's DPI with the
// Windows 10 functions, which the logger itself looks up at run time.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0A00
#define _WIN32_WINNT 0x0A00
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr const wchar_t* kCaption = L"VORNIX7_Logger";
constexpr DWORD kPollMs = 1;

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Read without a message to the window, whose thread may be busy in a
// fetch: the text the system keeps for every window.
std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    InternalGetWindowText(window, text, 512);
    return text;
}

std::string Narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

struct Search {
    bool messageBox;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    // The message box has the same caption as the window: tell them apart by
    // the box's dialog class.
    if (TextOf(window) == kCaption && (ClassOf(window) == L"#32770") == search->messageBox) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND Find(bool messageBox)
{
    Search search{messageBox, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Condition> bool WaitFor(double limitMs, Condition condition)
{
    const double start = NowMs();
    while (!condition()) {
        if (NowMs() - start > limitMs) {
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

HWND WaitForWindow(double limitMs)
{
    HWND window = nullptr;
    WaitFor(limitMs, [&] {
        window = Find(false);
        return window && IsWindowVisible(window);
    });
    if (!window) {
        std::printf("error=no window captioned VORNIX7_Logger\n");
    }
    return window;
}

HWND Label(HWND window)
{
    return FindWindowExW(window, nullptr, L"Static", nullptr);
}

HWND ExitButton(HWND window)
{
    return FindWindowExW(window, nullptr, L"Button", L"Exit");
}

int Shown(double limitMs)
{
    HWND window = WaitForWindow(limitMs);
    if (!window) {
        return 1;
    }
    RECT client{};
    GetClientRect(window, &client);
    std::printf("client=%ldx%ld\niconic=%d\ndpi=%u\nlabel=%s\n", client.right - client.left,
                client.bottom - client.top, IsIconic(window) ? 1 : 0, GetDpiForWindow(window),
                Narrow(TextOf(Label(window))).c_str());
    return 0;
}

int Status(const std::wstring& wanted, double limitMs)
{
    HWND window = WaitForWindow(limitMs);
    if (!window) {
        return 1;
    }
    const double start = NowMs();
    if (!WaitFor(limitMs, [&] { return TextOf(Label(window)) == wanted; })) {
        std::printf("error=label never read the text; last=%s\n", Narrow(TextOf(Label(window))).c_str());
        return 1;
    }
    std::printf("after_ms=%.0f\n", NowMs() - start);
    return 0;
}

int GiveUp(double limitMs)
{
    HWND window = WaitForWindow(limitMs);
    if (!window) {
        return 1;
    }
    HWND label = Label(window);
    // From its first moment: a fetch already under way when the probe comes
    // would seem shorter than it is.
    if (!WaitFor(limitMs, [&] { return TextOf(label) != L"Downloading..."; })
        || !WaitFor(limitMs, [&] { return TextOf(label) == L"Downloading..."; })) {
        std::printf("error=no fetch began\n");
        return 1;
    }
    const double start = NowMs();
    if (!WaitFor(limitMs, [&] { return TextOf(label) != L"Downloading..."; })) {
        std::printf("error=the fetch did not end\n");
        return 1;
    }
    const double end = NowMs();
    std::printf("offline_after_ms=%.0f\nlabel=%s\n", end - start, Narrow(TextOf(label)).c_str());
    return 0;
}

void PostKey(HWND target, UINT key)
{
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageW(target, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (1L << 30) | (1L << 31));
}

int End(const std::wstring& how, double limitMs)
{
    HWND window = WaitForWindow(limitMs);
    if (!window) {
        return 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) {
        std::printf("error=cannot open the process (%lu)\n", GetLastError());
        return 1;
    }
    HWND button = ExitButton(window);
    const double start = NowMs();
    if (how == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (how == L"click") {
        PostMessageW(button, BM_CLICK, 0, 0);
    } else if (how == L"enter") {
        PostKey(button, VK_RETURN);
    } else if (how == L"space") {
        PostKey(button, VK_SPACE);
    } else {
        std::printf("error=unknown way to end\n");
        return 2;
    }
    const DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(limitMs));
    const double end = NowMs();
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(process, &status);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) {
        std::printf("error=still running after %.0f ms\n", limitMs);
        return 1;
    }
    std::printf("ended_after_ms=%.1f\nexit_status=%lu\n", end - start, status);
    return 0;
}

int PressOk(double limitMs)
{
    HWND box = nullptr;
    if (!WaitFor(limitMs, [&] { return (box = Find(true)) != nullptr && IsWindowVisible(box); })) {
        std::printf("error=no message box\n");
        return 1;
    }
    // The box's text is its static control 0xFFFF.
    std::printf("message=%s\n", Narrow(TextOf(GetDlgItem(box, 0xFFFF))).c_str());
    std::fflush(stdout);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return 0;
}

// The byte far past the end that loggers lock while they append a line
// (src/platform/log_append_windows.cpp).
int HoldLock(const std::wstring& path, double limitMs)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error=cannot open the file (%lu)\n", GetLastError());
        return 1;
    }
    OVERLAPPED range{};
    range.Offset = 0xFFFFFFFEU;
    range.OffsetHigh = 0x7FFFFFFFU;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
        std::printf("error=cannot lock the file (%lu)\n", GetLastError());
        CloseHandle(file);
        return 1;
    }
    std::printf("locked=1\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(limitMs));
    CloseHandle(file);
    return 0;
}

// As ntdll tells it, which no compatibility manifest changes; Wine answers
// with the version its prefix is set to (winecfg -v).
int WindowsVersion()
{
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!rtlGetVersion || rtlGetVersion(&version) != 0) {
        std::printf("error=no version\n");
        return 1;
    }
    std::printf("version=%lu.%lu\n", version.dwMajorVersion, version.dwMinorVersion);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: window_probe shown MS | status TEXT MS | give-up MS | "
                         "end close|click|enter|space MS | press-ok MS | hold-lock FILE MS | windows\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Pixels as the screen has them, not as a DPI-unaware program would be
    // shown them.
    if (!SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
        SetProcessDPIAware();
    }
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const double limitMs = argc > 2 ? std::wcstod(argv[argc - 1], nullptr) : 0;
    int status = 2;
    if (command == L"shown" && argc == 3) {
        status = Shown(limitMs);
    } else if (command == L"status" && argc == 4) {
        status = Status(argv[2], limitMs);
    } else if (command == L"give-up" && argc == 3) {
        status = GiveUp(limitMs);
    } else if (command == L"end" && argc == 4) {
        status = End(argv[2], limitMs);
    } else if (command == L"hold-lock" && argc == 4) {
        status = HoldLock(argv[2], limitMs);
    } else if (command == L"windows" && argc == 2) {
        status = WindowsVersion();
    } else if (command == L"press-ok" && argc == 3) {
        status = PressOk(limitMs);
    } else {
        return Usage();
    }
    std::fflush(stdout);
    return status;
}
