#pragma once
// The file operations the application asks of the platform's file manager.

#include <filesystem>
#include <string_view>

namespace zeta::platform {

class FileManager {
public:
    static FileManager& defaultManager();

    std::filesystem::path temporaryDirectory() const;
    // The application group's folder, created when missing.
    std::filesystem::path containerURLForSecurityApplicationGroupIdentifier(std::string_view group) const;
    bool fileExistsAtPath(const std::filesystem::path& path) const;
    // Creates (or empties) the file; false when it cannot be created.
    bool createFileAtPath(const std::filesystem::path& path) const;
    bool removeItemAtPath(const std::filesystem::path& path) const;
};

} // namespace zeta::platform
