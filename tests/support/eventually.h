#pragma once
// Waiting for something another thread or process does, by polling.

#include <chrono>
#include <thread>

namespace test_support {

// Long enough for a loaded two-core machine; a passing test never waits it out.
inline constexpr std::chrono::milliseconds kPatience{30000};

// True as soon as the predicate holds, false when the time runs out first.
template <class Predicate>
bool eventually(Predicate&& predicate, std::chrono::milliseconds timeout = kPatience) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace test_support
