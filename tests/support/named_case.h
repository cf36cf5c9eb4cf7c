#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace vornix7::test {

// A parameterised test's table row that carries its own `name`: gtest
// prints the row by that name (`using test::PrintTo;` beside the row's
// type lets it find this), and CaseName names the instantiated test after it.
template <class Case>
requires requires(const Case& c, std::ostream& out)
{
    out << c.name;
}
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

struct CaseName {
    template <class Case> std::string operator()(const testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};

} // namespace vornix7::test
