#pragma once
// Reading a device's kind and a number item off the bus model.

#include "Common/property.h"

#include <memory>
#include <optional>

namespace zeta::common {

// INFO's "DEVICE_INTERFACE" bits; none when the item is missing or not a decimal integer.
std::optional<long long> interfaceBits(const INDIGO::Property& info);

// The value of a number item read now; none without such an item.
std::optional<double> numberValue(const std::shared_ptr<INDIGO::Property>& property, const char* item);

} // namespace zeta::common
