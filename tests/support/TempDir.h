#pragma once

#include <filesystem>

namespace halcyra::test {

// A fresh folder under the system temp folder, removed with everything in it on destruction.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const { return path_ / child; }

private:
    std::filesystem::path path_;
};

}  // namespace halcyra::test
