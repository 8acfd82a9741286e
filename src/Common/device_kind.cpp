#include "Common/device_kind.h"

#include "Common/items.h"

#include <charconv>
#include <string>

namespace zeta::common {

std::optional<long long> interfaceBits(const INDIGO::Property& info) {
    const auto item = info.item<INDIGO::TextItem>("DEVICE_INTERFACE");
    if (!item) return std::nullopt;
    const std::string text = item->value();
    if (text.empty()) return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> numberValue(const std::shared_ptr<INDIGO::Property>& property, const char* item) {
    if (!property) return std::nullopt;
    const auto number = property->item<INDIGO::NumberItem>(item);
    if (!number) return std::nullopt;
    return number->value();
}

} // namespace zeta::common
