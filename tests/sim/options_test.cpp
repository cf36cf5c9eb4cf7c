#include <gtest/gtest.h>

#include <functional>

#include "options.h"

namespace vornix7::sim {
namespace {

struct ValidCase {
    std::vector<std::string> args;
    std::function<bool(const Options&)> holds;
};

TEST(Options, ValidCommandLines)
{
    const std::vector<ValidCase> cases = {
        {{},
         [](const Options& o) {
             return o.port == 0 && o.name == "Lab North" && o.sensors == 8 && !o.fixedValues
                    && o.mode == Mode::Normal && !o.maxSeconds && !o.quiet;
         }},
        {{"--port", "65535"},
         [](const Options& o) {
             return o.port == 65535;
         }},
        {{"--port=8080"},
         [](const Options& o) {
             return o.port == 8080;
         }},
        {{"--name", "a=b <x>\xff"},
         [](const Options& o) {
             return o.name == "a=b <x>\xff";
         }},
        {{"--name="},
         [](const Options& o) {
             return o.name.empty();
         }},
        {{"--sensors", "0"},
         [](const Options& o) {
             return o.sensors == 0;
         }},
        {{"--sensors", "17"},
         [](const Options& o) {
             return o.sensors == 17;
         }},
        {{"--values", "1E400,21\\,5,"},
         [](const Options& o) {
             return o.sensors == 3 && *o.fixedValues == std::vector<std::string>{"1E400", "21,5", ""};
         }},
        {{"--values", "1,2", "--sensors", "2"},
         [](const Options& o) {
             return o.sensors == 2;
         }},
        {{"--seed", "18446744073709551615"},
         [](const Options& o) {
             return o.seed == 18446744073709551615ULL;
         }},
        {{"--mode", "trickle", "--trickle-ms", "5"},
         [](const Options& o) {
             return o.mode == Mode::Trickle && o.trickleMs == 5;
         }},
        {{"--mode", "size", "--body-bytes", "100000000"},
         [](const Options& o) {
             return o.mode == Mode::Size && o.bodyBytes == 100'000'000;
         }},
        {{"--mode", "status", "--status", "404"},
         [](const Options& o) {
             return o.mode == Mode::Status && o.status == 404;
         }},
        {{"--max-seconds", "0.5"},
         [](const Options& o) {
             return o.maxSeconds == 0.5;
         }},
        {{"--control", "c", "--count-file", "n", "--quiet"},
         [](const Options& o) {
             return o.controlFile == "c" && o.countFile == "n" && o.quiet;
         }},
    };
    for (const auto& c : cases) {
        const auto result = ParseOptions(c.args);
        const std::string shown = ::testing::PrintToString(c.args);
        ASSERT_EQ(result.kind, ParseResult::Kind::Run) << shown << ": " << result.error;
        EXPECT_TRUE(c.holds(result.options)) << shown;
    }
}

TEST(Options, InvalidCommandLinesAreErrors)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--port", "65536"},
        {"--port", "80x"},
        {"--port", ""},
        {"--port", "-1"},
        {"--port"},
        {"--sensors", "18"},
        {"--sensors", "-1"},
        {"--mode", "Normal"},
        {"--status", "99"},
        {"--status", "600"},
        {"--max-seconds", "0"},
        {"--max-seconds", "inf"},
        {"--max-seconds", "1e3"},
        {"--trickle-ms", "0"},
        {"--delay-ms", "1.5"},
        {"--values", "1,2", "--walk"},
        {"--values", "1,2", "--sensors", "3"},
        {"--values", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17"},
        {"--quiet=yes"},
        {"--bogus", "1"},
        {"stray"},
        {"--control", ""},
    };
    for (const auto& args : cases) {
        const auto result = ParseOptions(args);
        EXPECT_EQ(result.kind, ParseResult::Kind::Error) << ::testing::PrintToString(args);
        EXPECT_FALSE(result.error.empty());
    }
}

TEST(Options, SplitValues)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"", {""}},           {"1,2,3", {"1", "2", "3"}}, {"a,,b", {"a", "", "b"}},
        {"21\\,5", {"21,5"}}, {"a\\\\,b", {"a\\", "b"}},  {"x\\y", {"x\\y"}},
        {"end\\", {"end\\"}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(SplitValues(text), expected) << text;
}

} // namespace
} // namespace vornix7::sim
