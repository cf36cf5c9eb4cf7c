#include "tools/check/settings_warnings.h"

#include <algorithm>

namespace vornix7 {

std::vector<std::string> SettingsWarnings::Lines() const
{
    std::vector<Item> items = items_;
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.line < b.line; });
    std::vector<std::string> lines;
    for (const Item& item : items) {
        std::string where = fileName_;
        if (item.line != 0) {
            where += ':' + std::to_string(item.line);
        }
        lines.push_back("warning: " + where + ": " + item.text);
    }
    return lines;
}

} // namespace vornix7
