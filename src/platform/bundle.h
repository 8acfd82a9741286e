#pragma once
// The application bundle and the file locations the application uses.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zeta::platform {

class Bundle {
public:
    static const Bundle& main();

    const std::string& bundleIdentifier() const { return identifier_; }
    // "CFBundleShortVersionString" (version) and "CFBundleVersion" (build); none for other keys.
    std::optional<std::string> objectForInfoDictionaryKey(std::string_view key) const;
    // Folder of the bundled resources (driver catalogue, icons, help page).
    const std::filesystem::path& resourcePath() const { return resourcePath_; }
    // Folder of the bundled driver libraries.
    const std::filesystem::path& privateFrameworksPath() const { return frameworksPath_; }

private:
    Bundle();
    std::string identifier_;
    std::string version_;
    std::string build_;
    std::filesystem::path resourcePath_;
    std::filesystem::path frameworksPath_;
};

// The folder of the application group (created when missing): $XDG_DATA_HOME/<group>.
std::filesystem::path applicationGroupContainer(std::string_view group);
// The system temporary folder.
std::filesystem::path temporaryDirectory();

} // namespace zeta::platform
