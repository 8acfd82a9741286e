#pragma once
// A folder of its own under the system's temporary folder, removed with everything in it
// when the object goes.

#include <filesystem>
#include <string_view>

namespace test_support {

class TempDir {
public:
    // Throws when the folder cannot be made.
    explicit TempDir(std::string_view prefix = "zeta-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace test_support
