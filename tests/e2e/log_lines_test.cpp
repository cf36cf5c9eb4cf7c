// The whole-line check that the end-to-end tests lean on must itself tell a
// half or broken line from a whole one.
#include <gtest/gtest.h>

#include "log_lines.h"
#include "named_case.h"

namespace vornix7::e2e {
namespace {

struct LineCase {
    std::string name;
    std::string line;
    bool whole;
};

using test::PrintTo;

class WholeLineCheck : public testing::TestWithParam<LineCase> {};

TEST_P(WholeLineCheck, TellsWholeLinesFromBrokenOnes)
{
    EXPECT_EQ(IsWholeLine(GetParam().line, 3), GetParam().whole);
}

INSTANTIATE_TEST_SUITE_P(
    E2e, WholeLineCheck,
    testing::Values(
        LineCase{"an_OK_line_is_whole", "2026-12-07 14:03:05,Lab North,21.5,48.,-3.25,OK\r\n", true},
        LineCase{"an_ERROR_line_is_whole", "2026-12-07 14:03:05,,-2048000.,-2048000.,-2048000.,ERROR\r\n",
                 true},
        LineCase{"a_quoted_name_with_commas_and_quotes_is_whole",
                 "2026-12-07 14:03:05,\"Lab, \"\"N\"\"\",inf,-inf,0.,OK\r\n", true},
        LineCase{"a_line_without_its_CR_LF_is_half", "2026-12-07 14:03:05,Lab North,21.5,48.,-3.25,OK",
                 false},
        LineCase{"a_line_with_only_LF_is_broken", "2026-12-07 14:03:05,Lab North,21.5,48.,-3.25,OK\n", false},
        LineCase{"a_line_cut_in_a_reading_is_half", "2026-12-07 14:03:05,Lab North,21.5,4", false},
        LineCase{"a_line_with_a_reading_too_few_is_broken", "2026-12-07 14:03:05,Lab North,21.5,48.,OK\r\n",
                 false},
        LineCase{"a_line_with_a_reading_too_many_is_broken", "2026-12-07 14:03:05,Lab,1.,2.,3.,4.,OK\r\n",
                 false},
        LineCase{"a_reading_with_three_decimals_is_broken", "2026-12-07 14:03:05,Lab,1.,2.,3.125,OK\r\n",
                 false},
        LineCase{"a_line_without_a_time_stamp_is_broken", "14:03:05,Lab North,21.5,48.,-3.25,OK\r\n", false},
        LineCase{"two_lines_run_together_are_not_one_whole_line",
                 "2026-12-07 14:03:05,Lab,1.,2.,3.,OK\r\n2026-12-07 14:03:06,Lab,1.,2.,3.,OK\r\n", false},
        LineCase{"an_unknown_status_is_broken", "2026-12-07 14:03:05,Lab,1.,2.,3.,OKAY\r\n", false}),
    test::CaseName());

} // namespace
} // namespace vornix7::e2e
