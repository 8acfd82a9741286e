#pragma once
// A change request as the test devices write it down: "CCD_GAIN GAIN=50",
// "CONNECTION CONNECTED=On DISCONNECTED=Off" (numbers as %g, switches On/Off).

#include "indigo/indigo_bus.h"

#include <string>

namespace test_support {

std::string requestValue(const indigo_property* request, const indigo_item& item);
std::string describeRequest(const indigo_property* request);

} // namespace test_support
