// Linked into the test programs that read settings: each gets a HOME and settings folder of
// its own, made before anything reads them and removed at exit, so that tests neither see nor
// change the user's files; and one locale, so that numbers are written alike on every machine.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct PrivateHome {
    PrivateHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zeta-test-home-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        folder = pattern;
        ::setenv("HOME", folder.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
    }
    ~PrivateHome() {
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder;
};

const PrivateHome privateHome;

} // namespace
