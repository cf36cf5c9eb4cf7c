#pragma once

namespace vornix7 {

// The time separator of the user's locale (LC_TIME from the environment),
// read from the locale's time format; ':' when the locale names none.
char LocaleTimeSeparator();

} // namespace vornix7
