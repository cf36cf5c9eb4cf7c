#include "acquisition/tag_extraction.h"

#include <algorithm>

#include "common/ascii.h"

namespace vornix7 {

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

struct ElementSearch {
    std::string_view tag;
    std::size_t contentStart = kNotFound; // just after the first opening tag
    bool closed = false;
};

} // namespace

std::string SensorTag(int index)
{
    return "t" + std::to_string(index);
}

std::string ExtractTagValue(std::string_view page, std::string_view tag)
{
    return std::string(PageElements(page, {std::string(tag)}).Value(0));
}

// One pass: at each '<' read the name up to '>' (stopping early at another
// '<' or once it is longer than any wanted tag) and record the first
// opening tag of each wanted element, then the first closing tag after it.
// The closing tag is searched only after the opening tag, so a stray
// closing tag earlier in the page does not hide the element.
PageElements::PageElements(std::string_view page, const std::vector<std::string>& tags)
    : values_(tags.size())
{
    std::vector<ElementSearch> searches;
    searches.reserve(tags.size());
    std::size_t longestTag = 0;
    for (const std::string& tag : tags) {
        searches.push_back(ElementSearch{tag});
        longestTag = std::max(longestTag, tag.size());
    }
    std::size_t open = searches.size();

    for (std::size_t lt = page.find('<'); lt != kNotFound && open > 0; lt = page.find('<', lt + 1)) {
        std::size_t nameStart = lt + 1;
        const bool closing = nameStart < page.size() && page[nameStart] == '/';
        if (closing) {
            ++nameStart;
        }
        std::size_t nameEnd = nameStart;
        while (nameEnd < page.size() && nameEnd - nameStart <= longestTag && page[nameEnd] != '>'
               && page[nameEnd] != '<') {
            ++nameEnd;
        }
        if (nameEnd >= page.size() || page[nameEnd] != '>') {
            continue;
        }
        const std::string_view name = page.substr(nameStart, nameEnd - nameStart);
        for (std::size_t k = 0; k < searches.size(); ++k) {
            ElementSearch& search = searches[k];
            if (search.closed || !EqualsIgnoringAsciiCase(name, search.tag)) {
                continue;
            }
            if (!closing && search.contentStart == kNotFound) {
                search.contentStart = nameEnd + 1;
            } else if (closing && search.contentStart != kNotFound) {
                values_[k] = page.substr(search.contentStart, lt - search.contentStart);
                search.closed = true;
                --open;
            }
        }
    }
}

} // namespace vornix7
