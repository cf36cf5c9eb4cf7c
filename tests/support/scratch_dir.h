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
    // `name` inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole-file helpers; they throw std::runtime_error on failure so a broken
// fixture never looks like a passing or failing program.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

} // namespace vornix7::test
