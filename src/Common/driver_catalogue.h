#pragma once
// The driver catalogue file ("drivers.xml"): of the XML only the start tags of "driver"
// elements count, with their "name", "description" and "version" attributes; a tag that
// lacks one of them, and everything else, is passed over. A malformed file yields the
// entries before the fault.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zeta::common {

struct CatalogueEntry {
    std::string name;
    std::string description;
    std::string version;
    bool operator==(const CatalogueEntry&) const = default;
};

std::vector<CatalogueEntry> parseDriverCatalogue(std::string_view xml);

// Makes a link in folder for every name that has none there (or whose link leads nowhere)
// and that names an executable in one of the search folders. Returns the links made.
std::vector<std::string> linkDriverExecutables(const std::filesystem::path& folder,
                                               const std::vector<std::string>& names,
                                               const std::vector<std::filesystem::path>& searchFolders);

// The folders of $PATH.
std::vector<std::filesystem::path> executableSearchFolders();

} // namespace zeta::common
