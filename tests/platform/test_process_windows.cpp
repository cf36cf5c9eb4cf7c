#include "test_process.h"

#include <windows.h>

#include <psapi.h>

#include <cstdint>
#include <cstdlib>

namespace vornix7::test {

long PeakResidentKb()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

int OpenHandles()
{
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0)
        return static_cast<int>(count);
    // Wine answers 0 there: count the handle values that name an object
    // instead (handles are multiples of 4; a test program has far fewer
    // than 16384 of them).
    int found = 0;
    for (std::uintptr_t value = 4; value < 65536; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++found;
    }
    return found > 0 ? found : -1;
}

// _putenv_s changes the C runtime's copy and the process environment that
// libcurl reads.
void SetEnvironment(const char* name, const std::string& value)
{
    ::_putenv_s(name, value.c_str());
}

void UnsetEnvironment(const char* name)
{
    ::_putenv_s(name, "");
}

bool ResetCanReadAsOrderlyEnd()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace vornix7::test
