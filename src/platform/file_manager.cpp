#include "platform/file_manager.h"

#include "platform/bundle.h"

#include <fstream>

namespace zeta::platform {

FileManager& FileManager::defaultManager() {
    static FileManager manager;
    return manager;
}

std::filesystem::path FileManager::temporaryDirectory() const {
    return zeta::platform::temporaryDirectory();
}

std::filesystem::path FileManager::containerURLForSecurityApplicationGroupIdentifier(std::string_view group) const {
    return applicationGroupContainer(group);
}

bool FileManager::fileExistsAtPath(const std::filesystem::path& path) const {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

bool FileManager::createFileAtPath(const std::filesystem::path& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out);
}

bool FileManager::removeItemAtPath(const std::filesystem::path& path) const {
    std::error_code error;
    return std::filesystem::remove_all(path, error) > 0 && !error;
}

} // namespace zeta::platform
