#include "acquisition/tag_extraction.h"

#include "common/ascii.h"

namespace vornix7 {

namespace {

// Where `markup` ("<tag>" or "</tag>") first stands in `page` from `from`
// on, in any case. Only a '<' can begin it, so the rest of the page is
// passed over with find.
std::size_t FindMarkup(std::string_view page, std::string_view markup, std::size_t from)
{
    for (std::size_t lt = page.find('<', from); lt != std::string_view::npos; lt = page.find('<', lt + 1)) {
        if (EqualsIgnoringAsciiCase(page.substr(lt, markup.size()), markup)) {
            return lt;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::string SensorTag(int index)
{
    return "t" + std::to_string(index);
}

// The closing tag is searched only after the opening tag, so a stray
// closing tag earlier in the page does not hide the element.
std::string ExtractTagValue(std::string_view page, std::string_view tag)
{
    const std::string opening = "<" + std::string(tag) + ">";
    const std::size_t open = FindMarkup(page, opening, 0);
    if (open == std::string_view::npos) {
        return {};
    }
    const std::size_t start = open + opening.size();
    const std::size_t close = FindMarkup(page, "</" + std::string(tag) + ">", start);
    if (close == std::string_view::npos) {
        return {};
    }
    return std::string(page.substr(start, close - start));
}

PageElements::PageElements(std::string_view page, const std::vector<std::string>& tags)
{
    for (const std::string& tag : tags) {
        values_.push_back(ExtractTagValue(page, tag));
    }
}

} // namespace vornix7
