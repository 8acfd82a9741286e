// Linked into every test program: each program gets a temporary folder of its own (TMPDIR),
// and a test that leaves anything named "zeta..." behind in it fails the program, naming the
// test. What a test made is given a few seconds to go, since some owners let go of their
// folders on another thread just after the test has seen them finish.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr auto kGrace = std::chrono::seconds(10);

std::set<std::string> ourEntries(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with("zeta")) names.insert(name);
    }
    return names;
}

std::vector<std::string> added(const std::set<std::string>& before, const std::set<std::string>& now) {
    std::vector<std::string> names;
    for (const auto& name : now) {
        if (!before.contains(name)) names.push_back(name);
    }
    return names;
}

class LeftoverCheck final : public testing::EmptyTestEventListener {
public:
    explicit LeftoverCheck(fs::path folder) : folder_(std::move(folder)) {}

    void OnTestStart(const testing::TestInfo&) override { before_ = ourEntries(folder_); }

    void OnTestEnd(const testing::TestInfo& test) override {
        const auto end = std::chrono::steady_clock::now() + kGrace;
        std::vector<std::string> left = added(before_, ourEntries(folder_));
        while (!left.empty() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            left = added(before_, ourEntries(folder_));
        }
        if (left.empty()) return;
        std::string line = std::string(test.test_suite_name()) + "." + test.name() + " left";
        for (const auto& name : left) {
            line += " " + name;
            std::error_code ignored;
            fs::remove_all(folder_ / name, ignored);
        }
        leftovers.push_back(line);
    }

    std::vector<std::string> leftovers;

private:
    fs::path folder_;
    std::set<std::string> before_;
};

class LeftoverEnvironment final : public testing::Environment {
public:
    explicit LeftoverEnvironment(fs::path folder) : folder_(std::move(folder)) {}

    void SetUp() override {
        if (folder_.empty()) return;
        check_ = new LeftoverCheck(folder_);
        testing::UnitTest::GetInstance()->listeners().Append(check_); // owned by GoogleTest
    }

    void TearDown() override {
        if (check_ == nullptr) return;
        for (const auto& line : check_->leftovers)
            ADD_FAILURE() << line << " in the temporary folder";
    }

private:
    fs::path folder_;
    LeftoverCheck* check_ = nullptr;
};

// Made before main, so that everything the program makes lands in its own folder.
struct PrivateTemporaryFolder {
    PrivateTemporaryFolder() : owner(::getpid()) {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "zeta-tests-XXXXXX").string();
        if (ec || ::mkdtemp(pattern.data()) == nullptr) return;
        folder = pattern;
        ::setenv("TMPDIR", folder.c_str(), 1);
        testing::AddGlobalTestEnvironment(new LeftoverEnvironment(folder));
    }
    ~PrivateTemporaryFolder() {
        std::error_code ignored;
        if (!folder.empty() && ::getpid() == owner) fs::remove_all(folder, ignored);
    }
    fs::path folder;
    pid_t owner;
};

const PrivateTemporaryFolder privateTemporaryFolder;

} // namespace
