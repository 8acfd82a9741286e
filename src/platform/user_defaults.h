#pragma once
// The application's preferences store.
//
// Values keep their kind: a stored boolean, integer, real, text and data are told apart
// (a stored 1 and a stored "1" differ). The store lives in one JSON file,
// $XDG_CONFIG_HOME/Zeta/org.zeta.Zeta.json (~/.config when the variable is unset):
// booleans, integers, reals and texts as JSON values of their kind, data as
// {"data": "<base64>"}. Every read names its default; writes stay in memory until
// synchronize(). Safe to use from any thread.

#include "platform/color.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace zeta::platform {

// Raw bytes kept as a setting (archived colours).
struct DefaultsData {
    std::string bytes;
    bool operator==(const DefaultsData&) const = default;
};

using DefaultsValue = std::variant<bool, long long, double, std::string, DefaultsData>;

class UserDefaults {
public:
    // The store of the application's own domain.
    static UserDefaults& standard();
    // Where standard() keeps its file.
    static std::filesystem::path standardPath();

    // A store kept in the given file (read now if it exists).
    explicit UserDefaults(std::filesystem::path file);

    // Typed reads; absent keys and values without a reading of that kind give the default.
    std::string stringForKey(std::string_view key, std::string_view defaultValue) const;
    double doubleForKey(std::string_view key, double defaultValue) const;
    long long integerForKey(std::string_view key, long long defaultValue) const;
    bool boolForKey(std::string_view key, bool defaultValue) const;
    Color colorForKey(std::string_view key, const Color& defaultValue) const;

    std::optional<DefaultsValue> objectForKey(std::string_view key) const;
    std::vector<std::string> keys() const;

    void setBool(bool value, std::string_view key);
    void setInteger(long long value, std::string_view key);
    void setDouble(double value, std::string_view key);
    void setObject(DefaultsValue value, std::string_view key);
    void setColor(const Color& value, std::string_view key); // stores archiveColor() as data
    void removeObjectForKey(std::string_view key);
    void removeAll();

    // Writes the store to its file (atomically: a new file renamed over the old one).
    // False when the file could not be written; the values stay in memory.
    bool synchronize();

private:
    void load();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::mutex fileMutex_; // one writer of the file at a time
    std::unordered_map<std::string, DefaultsValue> values_;
};

} // namespace zeta::platform
