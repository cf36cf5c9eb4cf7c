#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace vornix7::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::path(testing::TempDir()) / ("vornix7-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder under " + testing::TempDir());
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    // Windows refuses to delete a read-only file: give write permission back
    // to everything a test made read-only first.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool FileExists(const std::string& path)
{
    std::error_code ignored;
    return fs::exists(path, ignored);
}

} // namespace vornix7::test
