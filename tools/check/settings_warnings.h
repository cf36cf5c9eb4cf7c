#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vornix7 {

// The likely mistakes found in one settings file, as the lines that report
// them. Adding one is one call, wherever it is found.
class SettingsWarnings {
public:
    explicit SettingsWarnings(std::string fileName) : fileName_(std::move(fileName)) {}

    // A mistake about the file as a whole, or about a value it does not set.
    void Add(std::string text) { AddAt(0, std::move(text)); }
    // A mistake on one line of the file, counted from 1.
    void AddAt(std::size_t line, std::string text) { items_.push_back({line, std::move(text)}); }

    bool Empty() const { return items_.empty(); }

    // "warning: FILE:LINE: text" or "warning: FILE: text" each, those about
    // the whole file first, then in the order of the file's lines.
    std::vector<std::string> Lines() const;

private:
    struct Item {
        std::size_t line;
        std::string text;
    };
    std::string fileName_;
    std::vector<Item> items_;
};

} // namespace vornix7
