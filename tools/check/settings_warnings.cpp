#include "tools/check/settings_warnings.h"

#include <algorithm>
#include <string_view>

#include "common/control_bytes.h"

namespace vornix7 {

namespace {

// The file's bytes are echoed in warnings; control bytes but tab are shown as \xNN
// so that none can move the cursor or recolour the terminal.
std::string Printable(std::string_view text)
{
    return EscapeControlBytes(text, ControlBytes::kAllButTab);
}

} // namespace

std::vector<std::string> SettingsWarnings::Lines() const
{
    std::vector<Item> items = items_;
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.line < b.line; });
    // A file that is no settings file at all (a wrong path, a binary) must
    // not bury the terminal.
    constexpr std::size_t kMaxShown = 100;
    if (items.size() > kMaxShown) {
        const std::size_t hidden = items.size() - kMaxShown;
        items.resize(kMaxShown);
        items.push_back({0, std::to_string(hidden) + " more warnings not shown"});
    }
    std::vector<std::string> lines;
    for (const Item& item : items) {
        std::string where = fileName_;
        if (item.line != 0) {
            where += ':' + std::to_string(item.line);
        }
        lines.push_back(Printable("warning: " + where + ": " + item.text));
    }
    return lines;
}

} // namespace vornix7
