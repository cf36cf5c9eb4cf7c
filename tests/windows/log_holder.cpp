// log_holder.exe PATH MS: holds the file at PATH open as a spreadsheet holds
// a CSV file it shows (reading, and sharing only reading, so nobody may
// write to it) for MS milliseconds, then closes it. For the end-to-end runs
// of VORNIX7_Logger.exe under Wine (tests/windows/e2e.sh). Prints
// held_ms=N; exit status 0, 1 when the file could not be opened, 2 for bad
// usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: log_holder PATH MS\n");
        return 2;
    }
    const DWORD ms = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error=%lu\n", GetLastError());
        return 1;
    }
    const ULONGLONG start = GetTickCount64();
    Sleep(ms);
    CloseHandle(file);
    std::printf("held_ms=%llu\n", GetTickCount64() - start);
    return 0;
}
