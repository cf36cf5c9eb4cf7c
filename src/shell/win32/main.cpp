// VORNIX7_Logger.exe: the logger as a Windows GUI program on the Win32 API.
#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "platform/system.h"
#include "shell/command_line.h"
#include "shell/logger_app.h"
#include "shell/win32/main_window.h"

namespace {

using vornix7::win32::kCaption;

// The arguments after the program's name, as the program's 8-bit text.
std::vector<std::string> Arguments()
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) {
        return args;
    }
    for (int i = 1; i < count; ++i) {
        args.push_back(vornix7::CodePageFromWide(argv[i]));
    }
    LocalFree(argv);
    return args;
}

std::string WithCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

bool WriteAll(HANDLE handle, const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
           && written == bytes.size();
}

// A GUI program has no console of its own, so the answer to --help and
// --version goes, in this order: to the standard handle the starter gave
// (a file or pipe: `VORNIX7_Logger.exe --help > help.txt`, or a terminal
// under Wine); to the console of the cmd.exe or PowerShell it was started
// from; or, started from Explorer or a shortcut, into a message box.
void Answer(const std::string& text, DWORD which, UINT icon)
{
    if (text.empty()) {
        return;
    }
    HANDLE handle = GetStdHandle(which);
    if (handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN
        && WriteAll(handle, WithCrLf(text))) {
        return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        bool shown = false;
        if (console != INVALID_HANDLE_VALUE) {
            // The prompt is already back (the shell does not wait for a GUI
            // program): start on a line of its own.
            const std::wstring wide = L"\r\n" + vornix7::WideFromCodePage(WithCrLf(text));
            DWORD written = 0;
            shown = WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
            CloseHandle(console);
        }
        FreeConsole();
        if (shown) {
            return;
        }
    }
    MessageBoxW(nullptr, vornix7::WideFromCodePage(text).c_str(), kCaption, MB_OK | icon);
}

// Without a window the program cannot run at all; say why, where a person
// or a service manager can see it.
int NoWindow(const std::string& reason)
{
    vornix7::WriteErrorLine(std::string(vornix7::kWindowProgramName) + ": " + reason + "\n");
    MessageBoxW(nullptr, vornix7::WideFromCodePage(reason).c_str(), kCaption, MB_OK | MB_ICONERROR);
    return 1;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/)
{
    std::ostringstream out;
    std::ostringstream err;
    if (const auto answered = vornix7::StartProgram(Arguments(), out, err)) {
        Answer(out.str(), STD_OUTPUT_HANDLE, MB_ICONINFORMATION);
        Answer(err.str(), STD_ERROR_HANDLE, MB_ICONWARNING);
        return *answered;
    }

    std::optional<vornix7::win32::MainWindow> window;
    try {
        window.emplace(instance);
    } catch (const std::exception& error) {
        return NoWindow(error.what());
    }
    return vornix7::RunLogger(*window);
}
