#pragma once

#include <optional>
#include <string>

namespace vornix7 {

// The time separator of the user's locale; ':' when the locale names none
// or one that the log's columns cannot carry (a blank, a control
// character, ',' or '"').
char LocaleTimeSeparator();

// The same for the locale called `name` in the system's own naming
// ("fi_FI.UTF-8" on POSIX, "fi-FI" on Windows); empty text is the user's
// locale (on POSIX LC_TIME from the environment). Nothing when the system
// does not know the locale.
std::optional<char> TimeSeparatorOfLocale(const std::string& name);

// Whether `c` can stand between the time stamp's fields.
inline bool IsUsableTimeSeparator(char c)
{
    return c > ' ' && c < 0x7f && c != '%' && c != ',' && c != '"';
}

} // namespace vornix7
