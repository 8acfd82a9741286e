#include "platform/user_defaults.h"

#include "platform/number_text.h"
#include "platform/system_log.h"

#include <QByteArray>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace zeta::platform {
namespace {

using json = nlohmann::json;

std::string base64Encode(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

std::optional<std::string> base64Decode(const std::string& text) {
    auto result =
        QByteArray::fromBase64Encoding(QByteArray::fromStdString(text), QByteArray::AbortOnBase64DecodingErrors);
    if (!result) return std::nullopt;
    return result.decoded.toStdString();
}

json toJson(const DefaultsValue& value) {
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, DefaultsData>) {
                return json{{"data", base64Encode(v.bytes)}};
            } else {
                return json(v);
            }
        },
        value);
}

std::optional<DefaultsValue> fromJson(const json& value) {
    if (value.is_boolean()) return DefaultsValue(value.get<bool>());
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<unsigned long long>() > std::numeric_limits<long long>::max()) {
            return DefaultsValue(value.get<double>());
        }
        return DefaultsValue(value.get<long long>());
    }
    if (value.is_number_float()) return DefaultsValue(value.get<double>());
    if (value.is_string()) return DefaultsValue(value.get<std::string>());
    if (value.is_object() && value.size() == 1 && value.contains("data") && value["data"].is_string()) {
        if (auto bytes = base64Decode(value["data"].get<std::string>())) return DefaultsValue(DefaultsData{*bytes});
    }
    return std::nullopt;
}

long long truncateToInteger(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2233720368547758e18) return std::numeric_limits<long long>::max();
    if (v <= -9.2233720368547758e18) return std::numeric_limits<long long>::min();
    return static_cast<long long>(v); // conversion truncates toward zero
}

} // namespace

std::filesystem::path UserDefaults::standardPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    return base / "Zeta" / "org.zeta.Zeta.json";
}

UserDefaults& UserDefaults::standard() {
    // Never destroyed: threads still running at exit may read a preference.
    static UserDefaults* store = new UserDefaults(standardPath());
    return *store;
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    load();
}

void UserDefaults::load() {
    std::ifstream in(file_);
    if (!in) return;
    json document = json::parse(in, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) {
        zeta::platform::systemLog("Zeta: ignoring unreadable preferences file " + file_.string());
        return;
    }
    for (auto it = document.begin(); it != document.end(); ++it) {
        if (auto value = fromJson(it.value())) values_.emplace(it.key(), std::move(*value));
    }
}

std::optional<DefaultsValue> UserDefaults::objectForKey(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(std::string(key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> UserDefaults::keys() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    result.reserve(values_.size());
    for (const auto& [key, value] : values_)
        result.push_back(key);
    return result;
}

std::string UserDefaults::stringForKey(std::string_view key, std::string_view defaultValue) const {
    auto value = objectForKey(key);
    if (!value) return std::string(defaultValue);
    if (auto* text = std::get_if<std::string>(&*value)) return *text;
    if (auto* integer = std::get_if<long long>(&*value)) return std::to_string(*integer);
    if (auto* real = std::get_if<double>(&*value)) return shortestDecimal(*real);
    if (auto* boolean = std::get_if<bool>(&*value)) return *boolean ? "1" : "0";
    return std::string(defaultValue);
}

double UserDefaults::doubleForKey(std::string_view key, double defaultValue) const {
    auto value = objectForKey(key);
    if (!value) return defaultValue;
    if (auto* real = std::get_if<double>(&*value)) return *real;
    if (auto* integer = std::get_if<long long>(&*value)) return static_cast<double>(*integer);
    if (auto* boolean = std::get_if<bool>(&*value)) return *boolean ? 1.0 : 0.0;
    if (auto* text = std::get_if<std::string>(&*value)) return leadingDouble(*text);
    return defaultValue;
}

long long UserDefaults::integerForKey(std::string_view key, long long defaultValue) const {
    auto value = objectForKey(key);
    if (!value) return defaultValue;
    if (auto* integer = std::get_if<long long>(&*value)) return *integer;
    if (auto* real = std::get_if<double>(&*value)) return truncateToInteger(*real);
    if (auto* boolean = std::get_if<bool>(&*value)) return *boolean ? 1 : 0;
    if (auto* text = std::get_if<std::string>(&*value)) return leadingInteger(*text);
    return defaultValue;
}

bool UserDefaults::boolForKey(std::string_view key, bool defaultValue) const {
    auto value = objectForKey(key);
    if (!value) return defaultValue;
    if (auto* boolean = std::get_if<bool>(&*value)) return *boolean;
    double number;
    if (auto* integer = std::get_if<long long>(&*value)) {
        number = static_cast<double>(*integer);
    } else if (auto* real = std::get_if<double>(&*value)) {
        number = *real;
    } else {
        return defaultValue;
    }
    if (number == 1) return true;
    if (number == 0) return false;
    return defaultValue;
}

Color UserDefaults::colorForKey(std::string_view key, const Color& defaultValue) const {
    auto value = objectForKey(key);
    if (!value) return defaultValue;
    if (auto* data = std::get_if<DefaultsData>(&*value)) {
        if (auto color = unarchiveColor(data->bytes)) return *color;
    }
    return defaultValue;
}

void UserDefaults::setObject(DefaultsValue value, std::string_view key) {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), std::move(value));
}

void UserDefaults::setBool(bool value, std::string_view key) {
    setObject(value, key);
}
void UserDefaults::setInteger(long long value, std::string_view key) {
    setObject(value, key);
}
void UserDefaults::setDouble(double value, std::string_view key) {
    setObject(value, key);
}
void UserDefaults::setColor(const Color& value, std::string_view key) {
    setObject(DefaultsData{archiveColor(value)}, key);
}

void UserDefaults::removeObjectForKey(std::string_view key) {
    std::lock_guard lock(mutex_);
    values_.erase(std::string(key));
}

void UserDefaults::removeAll() {
    std::lock_guard lock(mutex_);
    values_.clear();
}

bool UserDefaults::synchronize() {
    json document = json::object();
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, value] : values_)
            document[key] = toJson(value);
    }
    std::lock_guard fileLock(fileMutex_);
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    const std::filesystem::path temporary = file_.string() + ".new." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        // Texts that are not UTF-8 are stored with replacement characters rather than lost.
        out << document.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, error);
            return false;
        }
    }
    std::filesystem::rename(temporary, file_, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace zeta::platform
