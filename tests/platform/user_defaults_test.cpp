#include "platform/user_defaults.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace {

using zeta::platform::Color;
using zeta::platform::DefaultsData;
using zeta::platform::DefaultsValue;
using zeta::platform::UserDefaults;

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("zeta-defaults-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct StoredCase {
    const char* name;
    std::optional<DefaultsValue> stored; // none: key absent
    std::string asString;                // default "dflt"
    double asDouble;                     // default -1
    long long asInteger;                 // default -1
    bool asBoolFromFalse;                // default false
    bool asBoolFromTrue;                 // default true
};

const StoredCase kCases[] = {
    {"absent", std::nullopt, "dflt", -1, -1, false, true},
    {"text 42abc", DefaultsValue(std::string("42abc")), "42abc", 42, 42, false, true},
    {"text YES", DefaultsValue(std::string("YES")), "YES", 0, 0, false, true},
    {"text with blanks", DefaultsValue(std::string("  -2.5e1x")), "  -2.5e1x", -25, -2, false, true},
    {"integer 1", DefaultsValue(1LL), "1", 1, 1, true, true},
    {"integer 0", DefaultsValue(0LL), "0", 0, 0, false, false},
    {"integer 7", DefaultsValue(7LL), "7", 7, 7, false, true},
    {"real -3.75", DefaultsValue(-3.75), "-3.75", -3.75, -3, false, true},
    {"real 1.0", DefaultsValue(1.0), "1", 1, 1, true, true},
    {"bool true", DefaultsValue(true), "1", 1, 1, true, true},
    {"bool false", DefaultsValue(false), "0", 0, 0, false, false},
    {"data", DefaultsValue(DefaultsData{"\x01\x02"}), "dflt", -1, -1, false, true},
};

TEST(UserDefaults, EachAccessorReadsEachStoredKind) {
    TemporaryFolder folder;
    UserDefaults store(folder.path() / "d.json");
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        store.removeObjectForKey("k");
        if (c.stored) store.setObject(*c.stored, "k");
        EXPECT_EQ(store.stringForKey("k", "dflt"), c.asString);
        EXPECT_DOUBLE_EQ(store.doubleForKey("k", -1), c.asDouble);
        EXPECT_EQ(store.integerForKey("k", -1), c.asInteger);
        EXPECT_EQ(store.boolForKey("k", false), c.asBoolFromFalse);
        EXPECT_EQ(store.boolForKey("k", true), c.asBoolFromTrue);
    }
}

TEST(UserDefaults, ColorsRoundTripAndAnythingElseGivesTheDefault) {
    TemporaryFolder folder;
    UserDefaults store(folder.path() / "d.json");
    const Color fallback{0.1, 0.2, 0.3, 1};
    const Color stored{0.25, 0.5, 0.75, 0.5};
    store.setColor(stored, "markerColor");
    EXPECT_EQ(store.colorForKey("markerColor", fallback), stored);
    EXPECT_EQ(store.colorForKey("absent", fallback), fallback);
    store.setObject(DefaultsData{"not a colour"}, "bad");
    EXPECT_EQ(store.colorForKey("bad", fallback), fallback);
    store.setObject(DefaultsData{"srgb 0 1 2 1"}, "outOfRange");
    EXPECT_EQ(store.colorForKey("outOfRange", fallback), fallback);
    store.setObject(std::string(zeta::platform::archiveColor(stored)), "textNotData");
    EXPECT_EQ(store.colorForKey("textNotData", fallback), fallback);
}

TEST(UserDefaults, SynchronizeKeepsKindsAcrossReload) {
    TemporaryFolder folder;
    const auto file = folder.path() / "nested" / "d.json";
    {
        UserDefaults store(file);
        store.setBool(true, "b");
        store.setInteger(1, "i");
        store.setDouble(1.0, "r");
        store.setObject(std::string("1"), "s");
        store.setObject(DefaultsData{std::string("\0\xff", 2)}, "d");
        store.setObject(std::string("bad utf8 \xc3"), "latin");
        ASSERT_TRUE(store.synchronize());
    }
    UserDefaults reloaded(file);
    EXPECT_EQ(reloaded.objectForKey("b"), DefaultsValue(true));
    EXPECT_EQ(reloaded.objectForKey("i"), DefaultsValue(1LL));
    EXPECT_EQ(reloaded.objectForKey("r"), DefaultsValue(1.0));
    EXPECT_EQ(reloaded.objectForKey("s"), DefaultsValue(std::string("1")));
    EXPECT_EQ(reloaded.objectForKey("d"), DefaultsValue(DefaultsData{std::string("\0\xff", 2)}));
    EXPECT_TRUE(reloaded.objectForKey("latin").has_value());
}

TEST(UserDefaults, UnreadableFileStartsEmptyAndUnwritableFolderReportsFailure) {
    TemporaryFolder folder;
    const auto file = folder.path() / "d.json";
    std::ofstream(file) << "{ not json";
    UserDefaults store(file);
    EXPECT_TRUE(store.keys().empty());
    UserDefaults nowhere("/proc/zeta-cannot-write/d.json");
    nowhere.setInteger(3, "kept");
    EXPECT_FALSE(nowhere.synchronize());
    EXPECT_EQ(nowhere.integerForKey("kept", 0), 3);
}

} // namespace
