#include "options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>

namespace vornix7::sim {

namespace {

constexpr std::array<std::pair<Mode, std::string_view>, 12> kModeNames{{
    {Mode::Normal, "normal"},
    {Mode::Delay, "delay"},
    {Mode::Silent, "silent"},
    {Mode::Empty, "empty"},
    {Mode::Size, "size"},
    {Mode::Close, "close"},
    {Mode::Reset, "reset"},
    {Mode::Trickle, "trickle"},
    {Mode::Chunked, "chunked"},
    {Mode::Status, "status"},
    {Mode::Redirect, "redirect"},
    {Mode::Garbage, "garbage"},
}};

ParseResult Fail(std::string message)
{
    ParseResult result;
    result.kind = ParseResult::Kind::Error;
    result.error = std::move(message);
    return result;
}

// The readers of option values: each puts its text into the options and
// says whether it is a value the option takes.

// Strict: the whole text must be a decimal number inside [Min, Max], so a
// typo such as "--port 80x" is an error instead of silently becoming 80.
template <auto Member, auto Min, auto Max> bool ReadInteger(std::string_view text, Options& o)
{
    std::remove_reference_t<decltype(o.*Member)> value{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < Min || value > Max)
        return false;
    o.*Member = value;
    return true;
}

template <auto Member, bool MayBeEmpty> bool ReadText(std::string_view text, Options& o)
{
    o.*Member = text;
    return MayBeEmpty || !text.empty();
}

bool ReadSeconds(std::string_view text, Options& o)
{
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc{} || ptr != end || !std::isfinite(value) || value <= 0 || value > 1e7)
        return false;
    o.maxSeconds = value;
    return true;
}

// Each option that takes a value, and its reader.
struct ValueOption {
    std::string_view key;
    bool (*read)(std::string_view text, Options& o);
};

constexpr ValueOption kValueOptions[] = {
    {"--port", ReadInteger<&Options::port, 0, 65535>},
    {"--name", ReadText<&Options::name, true>},
    {"--sensors", ReadInteger<&Options::sensors, 0, kSensorSlots>},
    {"--values",
     [](std::string_view text, Options& o) {
         o.fixedValues = SplitValues(text);
         return true;
     }},
    {"--seed", ReadInteger<&Options::seed, 0, std::numeric_limits<std::uint64_t>::max()>},
    {"--mode",
     [](std::string_view text, Options& o) {
         const auto mode = ModeFromName(text);
         o.mode = mode.value_or(o.mode);
         return mode.has_value();
     }},
    {"--delay-ms", ReadInteger<&Options::delayMs, 0, 3'600'000>},
    {"--body-bytes", ReadInteger<&Options::bodyBytes, 0, std::uint64_t{1} << 40>},
    {"--trickle-ms", ReadInteger<&Options::trickleMs, 1, 600'000>},
    {"--status", ReadInteger<&Options::status, 100, 599>},
    {"--max-seconds", ReadSeconds},
    {"--control", ReadText<&Options::controlFile, false>},
    {"--count-file", ReadText<&Options::countFile, false>},
};

} // namespace

std::optional<Mode> ModeFromName(std::string_view name)
{
    for (const auto& [mode, text] : kModeNames)
        if (text == name)
            return mode;
    return std::nullopt;
}

std::string_view ModeName(Mode mode)
{
    for (const auto& [m, text] : kModeNames)
        if (m == mode)
            return text;
    return "?";
}

std::vector<std::string> SplitValues(std::string_view text)
{
    std::vector<std::string> values(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == ',' || text[i + 1] == '\\'))
            values.back() += text[++i];
        else if (c == ',')
            values.emplace_back();
        else
            values.back() += c;
    }
    return values;
}

ParseResult ParseOptions(const std::vector<std::string>& args)
{
    ParseResult result;
    Options& o = result.options;
    bool sensorsGiven = false;
    bool walkGiven = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string key = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = key.find('='); key.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = key.substr(eq + 1);
            key.resize(eq);
        }

        if (key == "--help" || key == "-h") {
            result.kind = ParseResult::Kind::Help;
            return result;
        }
        if (key == "--quiet" || key == "--walk") {
            if (inlineValue)
                return Fail(key + " takes no value");
            if (key == "--quiet")
                o.quiet = true;
            else
                walkGiven = true;
            continue;
        }

        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Fail(key.rfind("--", 0) == 0 ? key + " needs a value" : "unknown option " + key);
        }
        const auto option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                         [&](const ValueOption& known) { return known.key == key; });
        if (option == std::end(kValueOptions))
            return Fail("unknown option " + key);
        if (!option->read(value, o))
            return Fail("bad value for " + key + ": '" + value + "'");
        sensorsGiven = sensorsGiven || key == "--sensors";
    }

    if (o.fixedValues) {
        if (walkGiven)
            return Fail("--values and --walk exclude each other");
        const int count = static_cast<int>(o.fixedValues->size());
        if (count > kSensorSlots)
            return Fail("--values gives more than " + std::to_string(kSensorSlots) + " values");
        if (sensorsGiven && count != o.sensors)
            return Fail("--sensors does not match the number of --values");
        o.sensors = count;
    }
    return result;
}

std::string HelpText(std::string_view program)
{
    std::string text = "Usage: ";
    text += program;
    text += R"( [options]

Imitates a VORNIX7 sensor device: serves its HTML status page over HTTP/1.1
on 127.0.0.1 only, and can misbehave on purpose to test the logger.
Prints "listening on 127.0.0.1:PORT" once ready, then serves until SIGTERM or
SIGINT (exit 0) or until --max-seconds have passed.

  --port N          port to listen on; 0 or absent picks a free one
  --max-seconds S   stop after S seconds (default: run until signalled)
  --name TEXT       device name (default "Lab North"), placed verbatim
  --sensors N       number of elements t0..t(N-1), 0..17 (default 8)
  --values A,B,...  fixed element texts, placed verbatim; sets the number of
                    elements; write "\," for a comma inside a value
  --walk            slow random walk of values (default)
  --seed N          seed of the random walk and of garbage bytes (default 1)
  --mode M          how to answer every request (default normal):
      normal        200 with the page
      delay         the page after --delay-ms N (default 1000)
      silent        read the request, never answer, keep the connection open
      empty         200 with an empty body
      size          body of exactly --body-bytes N: the page padded with
                    blanks, or cut to N bytes when shorter
      close         read the request, close without answering
      reset         headers and half the body, then a TCP reset
      trickle       headers, then the body one byte per --trickle-ms
                    (default 1000)
      chunked       the page in several chunks (Transfer-Encoding: chunked)
      status        HTTP status --status N (default 500), page without values
      redirect      302 to /other; /other itself is served as normal
      garbage       200 with --body-bytes N (default 4096) random bytes
  --control FILE    before each request, if FILE exists its first word is the
                    mode for that request instead of --mode
  --count-file FILE after each request, write the number of requests so far
  --quiet           no log line per request on stderr
  --help            this text
)";
    return text;
}

} // namespace vornix7::sim
