#pragma once

#include <cstdio>
#include <string>

namespace vornix7::e2e {

// Line `number` of the log writer tagged `tag`: the tag, the number and
// filler up to `length` bytes, CR LF included, so each line is recognisable
// and a cut one shows.
inline std::string WriterLine(const std::string& tag, int number, std::size_t length)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08d", number);
    std::string line = tag + digits;
    line.resize(length - 2, 'x');
    return line + "\r\n";
}

} // namespace vornix7::e2e
