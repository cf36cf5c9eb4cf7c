#include "platform/locale_time_separator.h"

#include <langinfo.h>
#include <locale.h>

#include <string_view>

namespace vornix7 {

namespace {

// The separator is the first character after the hour field of the time
// format ("%H:%M:%S" gives ':', "%H.%M.%S" gives '.').
char SeparatorIn(std::string_view format)
{
    for (std::size_t i = 0; i + 2 < format.size(); ++i) {
        if (format[i] == '%'
            && (format[i + 1] == 'H' || format[i + 1] == 'I' || format[i + 1] == 'k'
                || format[i + 1] == 'l')) {
            const char c = format[i + 2];
            return IsUsableTimeSeparator(c) ? c : ':';
        }
    }
    return ':';
}

} // namespace

std::optional<char> TimeSeparatorOfLocale(const std::string& name)
{
    locale_t locale = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        return std::nullopt;
    }
    const char* format = nl_langinfo_l(T_FMT, locale);
    const char separator = format ? SeparatorIn(format) : ':';
    freelocale(locale);
    return separator;
}

char LocaleTimeSeparator()
{
    return TimeSeparatorOfLocale("").value_or(':');
}

} // namespace vornix7
