#include "acquisition/tag_extraction.h"

#include <algorithm>
#include <bitset>

#include "common/ascii.h"

namespace vornix7 {

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

// A quick "certainly not wanted" test for a tag name on the page, keyed on
// its length and its first and last letters: ordinary markup such as <td>
// or <tr> is passed over without comparing it with every wanted tag.
class NameFilter {
public:
    void Add(std::string_view name) { bits_.set(Key(name)); }
    bool MayHold(std::string_view name) const { return bits_.test(Key(name)); }

private:
    static std::size_t Key(std::string_view name)
    {
        if (name.empty()) {
            return 0;
        }
        const auto first = static_cast<unsigned char>(AsciiLower(name.front()));
        const auto last = static_cast<unsigned char>(AsciiLower(name.back()));
        return (name.size() * 131U + first * 31U + last) % kBits;
    }

    static constexpr std::size_t kBits = 4096;
    std::bitset<kBits> bits_;
};

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
PageElements::PageElements(std::string_view page, const std::vector<std::string>& tags) : values_(tags.size())
{
    std::vector<ElementSearch> searches;
    searches.reserve(tags.size());
    std::size_t longestTag = 0;
    NameFilter wanted;
    for (const std::string& tag : tags) {
        searches.push_back(ElementSearch{tag});
        longestTag = std::max(longestTag, tag.size());
        wanted.Add(tag);
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
        if (!wanted.MayHold(name)) {
            continue;
        }
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
