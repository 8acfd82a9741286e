#pragma once
// Writing a whole file so that readers see either the old file or the complete new one.

#include <filesystem>
#include <string_view>

namespace zeta::app {

// Writes the bytes to a temporary file beside the path, flushes it and renames it over the
// path. False when any step fails; the temporary file is then removed and the old file kept.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace zeta::app
