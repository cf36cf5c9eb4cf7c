#include "platform/locale_time_separator.h"

#include <windows.h>

#include "platform/code_page_windows.h"

namespace vornix7 {

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

char LocaleTimeSeparator()
{
    return TimeSeparatorOfLocale("").value_or(':');
}

} // namespace vornix7
