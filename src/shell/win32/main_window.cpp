#include "shell/win32/main_window.h"

#include <commctrl.h>

#include <stdexcept>

#include "platform/system.h"
#include "shell/win32/resource_ids.h"

namespace vornix7::win32 {

namespace {

// The window's sizes in twips (1/1440 inch), as the window is designed; they
// become pixels at the window's own DPI, so it has the same size in inches on
// every screen: 278 x 64 pixels at 96 DPI, 417 x 96 at 144 DPI.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

constexpr int kTwipsPerInch = 1440;
constexpr int kClientWidthTwips = 4170;
constexpr int kClientHeightTwips = 960;
constexpr TwipsRect kExitTwips{2760, 120, 1275, 315};
constexpr TwipsRect kStatusTwips{60, 540, 3975, 315};

constexpr const wchar_t* kClassName = L"VORNIX7_Logger.main";
// Fixed size: a caption with its menu, minimize and close, no sizing frame,
// no maximize box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;
constexpr int kExitId = 100;
constexpr UINT_PTR kTimer1Id = 1;

int Pixels(int twips, UINT dpi)
{
    return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

void Place(HWND control, const TwipsRect& twips, UINT dpi)
{
    SetWindowPos(control, nullptr, Pixels(twips.left, dpi), Pixels(twips.top, dpi), Pixels(twips.width, dpi),
                 Pixels(twips.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

// The system's message font at `dpi`, or a stock font.
OwnedFont MessageFont(const Dpi& dpi, UINT dpiValue)
{
    LOGFONTW font{};
    if (!dpi.MessageFont(dpiValue, font)) {
        // A stock font: deleting it later does nothing, as the system wants.
        return OwnedFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    }
    return OwnedFont(CreateFontIndirectW(&font));
}

ATOM RegisterMainClass(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass);
}

} // namespace

MainWindow::MainWindow(HINSTANCE instance, unsigned tickIntervalMs, EndAction endProgram, Dpi dpi)
    : ShellWindow(std::move(endProgram)), instance_(instance), tickIntervalMs_(tickIntervalMs),
      dpi_(std::move(dpi))
{
    // The buttons' visual styles: the manifest asks for common controls 6,
    // and this loads it.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    if (!RegisterMainClass(instance_, &MainWindow::WindowProc)
        && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error("cannot register the window class: error " + std::to_string(GetLastError()));
    }
    // WM_NCCREATE keeps the handle in window_; the size follows at WM_CREATE,
    // once the window's DPI is known.
    if (!CreateWindowExW(kExStyle, kClassName, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, nullptr, nullptr, instance_, this)) {
        throw std::runtime_error("cannot create the window: error " + std::to_string(GetLastError()));
    }
}

MainWindow::~MainWindow()
{
    StopTimer1();
    // Before the font it uses goes.
    window_.reset();
}

void MainWindow::SetStatus(const std::string& text)
{
    SetWindowTextW(lBla, WideFromCodePage(text).c_str());
}

void MainWindow::PumpEvents()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // For the message loop, which ends on it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

void MainWindow::ShowWindow(bool minimized)
{
    HWND window = window_.get();
    if (minimized) {
        // Not activated: a logger started minimized takes no focus. The
        // first ShowWindow of a process may be replaced by the show state
        // its starter asked for (a shortcut's "Normal window"); the second
        // is not.
        ::ShowWindow(window, SW_SHOWMINNOACTIVE);
        if (!IsIconic(window)) {
            ::ShowWindow(window, SW_SHOWMINNOACTIVE);
        }
    } else {
        ::ShowWindow(window, SW_SHOWNORMAL);
        SetFocus(kExit);
    }
    UpdateWindow(window);
}

void MainWindow::EnableTimer1(bool enabled)
{
    if (enabled) {
        SetTimer(window_.get(), kTimer1Id, tickIntervalMs_, nullptr);
    } else {
        KillTimer(window_.get(), kTimer1Id);
    }
}

void MainWindow::ShowRuntimeError(const std::string& text)
{
    // A box owned by a minimized or hidden window is hidden with it, and
    // nobody could click it away: it then stands on its own.
    HWND window = window_.get();
    HWND owner = IsWindowVisible(window) && !IsIconic(window) ? window : nullptr;
    MessageBoxW(owner, WideFromCodePage(text).c_str(), kCaption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void MainWindow::ShowLogNotice(const std::string& text)
{
    if (!labelTip_) {
        return;
    }
    labelTipText_ = WideFromCodePage(text);
    TTTOOLINFOW tool = LabelTool();
    SendMessageW(labelTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    // An empty notice: the spell is over and no tip shows.
    SendMessageW(labelTip_, TTM_ACTIVATE, text.empty() ? FALSE : TRUE, 0);
}

int MainWindow::Run()
{
    MSG message;
    BOOL got = FALSE;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        Dispatch(message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

void MainWindow::Dispatch(MSG& message)
{
    // The dialog manager's keyboard: Tab, Space on the focused button, Enter
    // for the default button (DM_GETDEFID below).
    if (IsDialogMessageW(window_.get(), &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_.reset(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        // The system destroys it; nothing left to delete.
        static_cast<void>(self->window_.release());
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(kExitId, DC_HASDEFID);
    case WM_ACTIVATE:
        // The button has the focus whenever the window is active, so Enter
        // and Space always reach it.
        if (LOWORD(wParam) != WA_INACTIVE) {
            SetFocus(kExit);
        }
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        EndProgram(0);
        return 0;
    case WM_ENDSESSION:
        if (wParam) {
            EndProgram(0);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void MainWindow::OnCreate()
{
    HWND window = window_.get();
    // Created first: first in the tab order, and the default button.
    kExit = CreateWindowExW(0, WC_BUTTONW, L"Exit", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
                            0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kExitId)),
                            instance_, nullptr);
    // Its texts are the program's own; no '&' may turn into an underline.
    // SS_NOTIFY: the label takes the mouse, so its tooltip can show.
    lBla = CreateWindowExW(0, WC_STATICW, L"lBla",
                           WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY, 0, 0, 0, 0,
                           window, nullptr, instance_, nullptr);
    labelTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, instance_, nullptr);
    if (labelTip_) {
        TTTOOLINFOW tool = LabelTool();
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        SendMessageW(labelTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(labelTip_, TTM_ACTIVATE, FALSE, 0);
    }
    LayOut(dpi_.WindowDpi(window));
}

TTTOOLINFOW MainWindow::LabelTool()
{
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window_.get();
    tool.uId = reinterpret_cast<UINT_PTR>(lBla);
    // The tooltip keeps this pointer: the text lives in the window object.
    tool.lpszText = labelTipText_.data();
    return tool;
}

void MainWindow::OnCommand(int id, int code)
{
    if (id == kExitId && code == BN_CLICKED) {
        EndProgram(0);
    }
}

void MainWindow::OnTimer(UINT_PTR id)
{
    // HandleTick ignores a WM_TIMER already queued when Timer1 stopped.
    if (id == kTimer1Id) {
        HandleTick();
    }
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested)
{
    // The suggested place; the size is the window's own, since on 8.1 the
    // suggestion scales the frame too, which the system does not redraw.
    SetWindowPos(window_.get(), nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(dpi);
}

void MainWindow::LayOut(UINT dpi)
{
    FitClientArea(dpi);
    // The old font stays alive until the controls use the new one.
    OwnedFont font = MessageFont(dpi_, dpi);
    for (HWND control : {kExit, lBla}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    font_ = std::move(font);
    Place(kExit, kExitTwips, dpi);
    Place(lBla, kStatusTwips, dpi);
}

void MainWindow::FitClientArea(UINT dpi)
{
    HWND window = window_.get();
    const SIZE client{Pixels(kClientWidthTwips, dpi), Pixels(kClientHeightTwips, dpi)};
    SIZE frame = dpi_.FrameSize(client, kStyle, kExStyle, dpi);
    SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A minimized window has no client area to measure.
    RECT drawn{};
    if (IsIconic(window) || !GetClientRect(window, &drawn)) {
        return;
    }
    const LONG dx = client.cx - drawn.right;
    const LONG dy = client.cy - drawn.bottom;
    if (dx != 0 || dy != 0) {
        SetWindowPos(window, nullptr, 0, 0, frame.cx + dx, frame.cy + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

} // namespace vornix7::win32
