#pragma once

#include <string>

namespace vornix7::e2e {

// A fresh directory under the system's temporary folder, removed with all
// it holds when the object goes, so every test starts from nothing and
// leaves nothing behind.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // `name` inside the directory.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole-file helpers; they throw std::runtime_error on failure so a broken
// fixture never looks like a passing or failing logger.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

} // namespace vornix7::e2e
