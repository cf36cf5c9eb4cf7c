#pragma once

#include <string>

namespace vornix7::test {

// A fresh, empty folder under the tests' temporary folder, removed with all
// it holds when the object goes, so every test starts from nothing and
// leaves nothing behind. Portable: std::filesystem, no mkdtemp.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace vornix7::test
