// Every test process gets a settings folder of its own, made before anything reads the
// settings and removed at exit, so that tests neither see nor change the user's preferences.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct PrivateSettings {
    PrivateSettings() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zeta-camera-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        folder = pattern;
        ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    }
    ~PrivateSettings() {
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder;
};

const PrivateSettings privateSettings;

} // namespace
