#include "platform/image/buffer.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// Frame-sized buffers taken and released by several threads at once, of a few sizes so that
// released blocks are handed out again: no two buffers held at the same time may share
// memory, whichever thread released them.
TEST(Buffer, LargeBuffersHeldAtOnceNeverShareMemory) {
    constexpr std::size_t kSizes[] = {std::size_t(2) << 20, (std::size_t(5) << 20) + 7, std::size_t(3) << 20};
    std::atomic<int> mismatches{0};
    std::vector<std::jthread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 16; ++round) {
                const std::size_t size = kSizes[static_cast<std::size_t>(t + round) % 3];
                std::vector<zeta::platform::Buffer> held;
                for (int k = 0; k < 2; ++k) {
                    held.push_back(zeta::platform::allocateBuffer(size));
                    const auto mark = static_cast<unsigned char>(t * 16 + k);
                    std::memset(held.back().get(), mark, size);
                }
                std::this_thread::yield();
                for (int k = 0; k < 2; ++k) {
                    const auto mark = static_cast<unsigned char>(t * 16 + k);
                    const auto* p = held[static_cast<std::size_t>(k)].get();
                    for (std::size_t i = 0; i < size; i += 4093)
                        if (p[i] != mark) ++mismatches;
                    if (p[size - 1] != mark) ++mismatches;
                }
            }
        });
    }
    threads.clear();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
