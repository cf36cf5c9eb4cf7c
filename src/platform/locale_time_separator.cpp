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
            // A comma or quote would break the log's columns; keep ':' then.
            const bool usable = c > ' ' && c < 0x7f && c != '%' && c != ',' && c != '"';
            return usable ? c : ':';
        }
    }
    return ':';
}

} // namespace

char LocaleTimeSeparator()
{
    locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr)) {
        return ':';
    }
    const char* format = nl_langinfo_l(T_FMT, user);
    const char separator = format ? SeparatorIn(format) : ':';
    freelocale(user);
    return separator;
}

} // namespace vornix7
