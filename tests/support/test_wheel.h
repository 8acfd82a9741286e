#pragma once
// A filter wheel of ours on the in-process bus: WHEEL_SLOT (SLOT, 1 to the number of names) and
// WHEEL_SLOT_NAME (one text item per slot), defined while connected. A slot request makes
// WHEEL_SLOT Busy with the old slot, then Ok with the new one after the move time; a slot out
// of range (or an injected failure) gives Alert with the old slot. Requests are logged in order.

#include "indigo/indigo_bus.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace test_support {

class TestWheel {
public:
    TestWheel(std::string name, std::vector<std::string> filterNames);
    ~TestWheel();
    TestWheel(const TestWheel&) = delete;
    TestWheel& operator=(const TestWheel&) = delete;

    const std::string& name() const;
    void setMoveTime(std::chrono::milliseconds time);
    // The next slot request is answered with Alert and the old slot.
    void failNextMove();
    int slot() const;
    // "WHEEL_SLOT SLOT=3", "CONNECTION CONNECTED=On", ... oldest first.
    std::vector<std::string> requests() const;

private:
    struct Driver;
    std::unique_ptr<Driver> driver_;
};

} // namespace test_support
