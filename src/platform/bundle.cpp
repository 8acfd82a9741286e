#include "platform/bundle.h"

#include "platform/version.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace zeta::platform {
namespace {

std::filesystem::path executableDirectory() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : path.parent_path();
}

// Resources sit beside the executable in a build tree, under share/zeta when installed,
// and fall back to the source tree for tests run from anywhere.
std::filesystem::path findResources() {
    if (const char* override = std::getenv("ZETA_RESOURCE_DIR"); override && *override) return override;
    std::error_code error;
    for (const auto& candidate :
         {executableDirectory() / "resources", executableDirectory() / ".." / "share" / "zeta",
          std::filesystem::path(kInstalledResourceDir), std::filesystem::path(kSourceResourceDir)}) {
        if (std::filesystem::is_directory(candidate, error)) return candidate;
    }
    return kSourceResourceDir;
}

std::filesystem::path dataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) return std::filesystem::path(home) / ".local" / "share";
    return temporaryDirectory();
}

} // namespace

const Bundle& Bundle::main() {
    static const Bundle* bundle = new Bundle();
    return *bundle;
}

Bundle::Bundle()
    : identifier_(kBundleIdentifier), version_(kVersion), build_(kBuild), resourcePath_(findResources()),
      frameworksPath_(executableDirectory() / "drivers") {}

std::optional<std::string> Bundle::objectForInfoDictionaryKey(std::string_view key) const {
    if (key == "CFBundleShortVersionString") return version_;
    if (key == "CFBundleVersion") return build_;
    if (key == "CFBundleIdentifier") return identifier_;
    return std::nullopt;
}

std::filesystem::path applicationGroupContainer(std::string_view group) {
    auto folder = dataHome() / std::string(group);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return folder;
}

std::filesystem::path temporaryDirectory() {
    std::error_code error;
    auto folder = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path("/tmp") : folder;
}

} // namespace zeta::platform
