#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <type_traits>

#include "shell/shell_window.h"
#include "shell/win32/dpi.h"

namespace vornix7::win32 {

// The window's caption, also the title of the program's message boxes.
inline constexpr const wchar_t* kCaption = L"VORNIX7_Logger";

// Owned handles: deleted with the object that holds them, also when start-up
// fails half-way.
struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

// The logger's only window, "main", on the plain Win32 API: the Exit button
// kExit, the status label lBla and Timer1. Sizes are twips, turned into
// pixels at the window's DPI (from `dpi`, on the newest way this Windows
// has) and again when the window moves to a screen of another DPI. Exit, the window's close and the end of
// the session end the program through EndProgram, also from inside PumpEvents (a fetch or a wait for the
// log's lock).
class MainWindow final : public ShellWindow {
public:
    // Creates the window hidden, its label still reading "lBla" (start-up
    // clears it before the window is shown). Throws std::runtime_error when
    // the system gives no window.
    explicit MainWindow(HINSTANCE instance, unsigned tickIntervalMs = 1000, EndAction endProgram = nullptr,
                        Dpi dpi = Dpi());
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void SetStatus(const std::string& text) override;
    void PumpEvents() override;
    void ShowWindow(bool minimized) override;
    void ShowRuntimeError(const std::string& text) override;
    // The label's tooltip.
    void ShowLogNotice(const std::string& text) override;

    // Handles window messages until a WM_QUIT arrives (nothing in the program
    // posts one: it ends through EndProgram); gives its exit code.
    int Run() override;

private:
    void EnableTimer1(bool enabled) override;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // `window` rather than window_: while DestroyWindow runs, window_ is
    // already empty.
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Dispatch(MSG& message);

    void OnCreate();
    // The label's entry in its tooltip, with the tip's text.
    TTTOOLINFOW LabelTool();
    void OnCommand(int id, int code);
    void OnTimer(UINT_PTR id);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    // The window's size, the font and the controls' places for `dpi`.
    void LayOut(UINT dpi);
    // The window's size for the client area at `dpi`, corrected by what the
    // system really drew around it.
    void FitClientArea(UINT dpi);

    HINSTANCE instance_;
    unsigned tickIntervalMs_;
    Dpi dpi_;
    OwnedWindow window_; // "main"
    HWND kExit = nullptr;
    HWND lBla = nullptr;
    // The label's tooltip, which tells of a busy log without changing the
    // label's own texts; owned by the window, destroyed with it.
    HWND labelTip_ = nullptr;
    std::wstring labelTipText_;
    OwnedFont font_;
};

} // namespace vornix7::win32
