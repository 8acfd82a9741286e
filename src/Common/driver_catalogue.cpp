// The driver catalogue: reading "drivers.xml" and keeping INDIGO's drivers and their order.

#include "Common/driver_catalogue.h"

#include "Common/driver.h"
#include "Common/indigo_client.h"
#include "Common/indigo_delegate.h"
#include "platform/constants.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <expat.h>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace zeta::common {

namespace {

void XMLCALL startElement(void* data, const XML_Char* element, const XML_Char** attributes) {
    if (std::strcmp(element, "driver") != 0) return;
    const char* name = nullptr;
    const char* description = nullptr;
    const char* version = nullptr;
    for (const XML_Char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
        if (std::strcmp(attribute[0], "name") == 0) name = attribute[1];
        if (std::strcmp(attribute[0], "description") == 0) description = attribute[1];
        if (std::strcmp(attribute[0], "version") == 0) version = attribute[1];
    }
    if (name == nullptr || description == nullptr || version == nullptr) return;
    static_cast<std::vector<CatalogueEntry>*>(data)->push_back({name, description, version});
}

bool isExecutable(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::vector<CatalogueEntry> parseDriverCatalogue(std::string_view xml) {
    std::vector<CatalogueEntry> entries;
    // No namespace processing; expat resolves no external entities unless told to.
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) return entries;
    XML_SetUserData(parser, &entries);
    XML_SetStartElementHandler(parser, &startElement);
    constexpr std::size_t kChunk = std::numeric_limits<int>::max() / 2;
    bool ok = true;
    while (ok && xml.size() > kChunk) {
        ok = XML_Parse(parser, xml.data(), static_cast<int>(kChunk), XML_FALSE) == XML_STATUS_OK;
        xml.remove_prefix(kChunk);
    }
    if (ok) XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE);
    XML_ParserFree(parser);
    return entries;
}

std::vector<std::string> linkDriverExecutables(const std::filesystem::path& folder,
                                               const std::vector<std::string>& names,
                                               const std::vector<std::filesystem::path>& searchFolders) {
    std::vector<std::string> made;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const std::string& name : names) {
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") continue;
        const auto link = folder / name;
        if (std::filesystem::exists(link, error)) continue;
        for (const auto& searchFolder : searchFolders) {
            const auto target = searchFolder / name;
            if (!isExecutable(target)) continue;
            // A link that leads nowhere (its driver was removed) is replaced.
            if (std::filesystem::is_symlink(link, error)) std::filesystem::remove(link, error);
            std::filesystem::create_symlink(target, link, error);
            if (!error) made.push_back(name);
            break;
        }
    }
    return made;
}

std::vector<std::filesystem::path> executableSearchFolders() {
    std::vector<std::filesystem::path> folders;
    const char* path = std::getenv("PATH");
    std::stringstream list(path != nullptr && *path != '\0' ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string folder; std::getline(list, folder, ':');) {
        if (!folder.empty()) folders.emplace_back(folder);
    }
    return folders;
}

} // namespace zeta::common

StringMap<std::shared_ptr<INDIGO::Driver>> INDIGO::drivers() const {
    std::lock_guard lock(driversMutex_);
    return drivers_;
}

std::vector<std::string> INDIGO::driverNames() const {
    std::lock_guard lock(driversMutex_);
    return driverNames_;
}

std::shared_ptr<INDIGO::Driver> INDIGO::driver(std::string_view name) const {
    std::lock_guard lock(driversMutex_);
    const auto found = drivers_.find(name);
    return found == drivers_.end() ? nullptr : found->second;
}

void INDIGO::addCatalogueDriver(const std::shared_ptr<Driver>& driver) {
    if (!driver) return;
    {
        std::lock_guard lock(driversMutex_);
        driverNames_.push_back(driver->name());
        drivers_[driver->name()] = driver;
        // Byte order, which is the order of ASCII texts.
        std::stable_sort(driverNames_.begin(), driverNames_.end(), [this](const std::string& a, const std::string& b) {
            return drivers_.at(a)->description() < drivers_.at(b)->description();
        });
    }
    tellDelegates([&](INDIGODelegate* delegate) { delegate->addDriver(driver); });
}

void INDIGO::readDriverCatalogue(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const auto entries = zeta::common::parseDriverCatalogue(bytes.str());

    const auto container = FILE_MANAGER().containerURLForSecurityApplicationGroupIdentifier("TEAM.INDIGO");
    const auto driversFolder = container.empty() ? std::filesystem::path() : container / "Drivers";
    if (!driversFolder.empty()) {
        // Drivers installed since the last start get their links now.
        std::vector<std::string> names;
        for (const auto& entry : entries)
            names.push_back(entry.name);
        zeta::common::linkDriverExecutables(driversFolder, names, zeta::common::executableSearchFolders());
    }

    for (const auto& entry : entries) {
        std::shared_ptr<Driver> driver;
        const auto library = MAIN_BUNDLE().privateFrameworksPath() / (entry.name + ".so");
        if (FILE_MANAGER().fileExistsAtPath(library)) {
            driver = std::make_shared<Driver>(entry.name, entry.description, entry.version, true);
        } else if (!driversFolder.empty() && FILE_MANAGER().fileExistsAtPath(driversFolder / entry.name)) {
            driver = std::make_shared<Driver>(entry.name, entry.description, entry.version, false,
                                              (driversFolder / entry.name).string());
        } else {
            zeta::platform::systemLog("Driver " + entry.name + " skipped");
            continue;
        }
        addCatalogueDriver(driver);
        const bool byDefault = driver->library() && entry.name.find("simulator") != std::string::npos;
        if (DEFAULTS().boolForKey(driver->settingsKey(), byDefault))
            dispatch::globalQueue(dispatch::QoS::Default).sync([&] { driver->load(); });
    }
}

void INDIGO::readDriverCatalogue() {
    const auto file = MAIN_BUNDLE().resourcePath() / "drivers.xml";
    if (!FILE_MANAGER().fileExistsAtPath(file)) return;
    readDriverCatalogue(file);
}
