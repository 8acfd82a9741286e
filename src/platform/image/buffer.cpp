#include "platform/image/buffer.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unordered_map>
#include <vector>

namespace zeta::platform {
namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer watches every block from its allocation to its release: none is kept.
constexpr std::size_t kKeptBytes = 0;
#else
// Released blocks kept for the next frames of the same size: a camera sends the same size
// over and over, and a fresh block's pages cost more to fault in than the frame to decode.
// Enough for two frames of 24 megapixels at 16 bits and a rendering.
constexpr std::size_t kKeptBytes = std::size_t(160) << 20;
#endif

// The large blocks handed out (with their sizes) and those released and kept.
class LargeBlocks {
public:
    void* take(std::size_t rounded) {
        {
            std::lock_guard lock(mutex_);
            for (auto it = kept_.begin(); it != kept_.end(); ++it) {
                if (it->second != rounded) continue;
                void* block = it->first;
                keptBytes_ -= rounded;
                kept_.erase(it);
                live_.emplace(block, rounded);
                return block;
            }
        }
        void* block = std::aligned_alloc(kHugePage, rounded);
        if (!block) return nullptr;
        // Only advice: without huge pages the block works all the same.
        (void)madvise(block, rounded, MADV_HUGEPAGE);
        std::lock_guard lock(mutex_);
        live_.emplace(block, rounded);
        return block;
    }

    // False when the block is not a large one.
    bool give(void* block) {
        std::lock_guard lock(mutex_);
        const auto it = live_.find(block);
        if (it == live_.end()) return false;
        const std::size_t rounded = it->second;
        live_.erase(it);
        if (keptBytes_ + rounded <= kKeptBytes) {
            kept_.emplace_back(block, rounded);
            keptBytes_ += rounded;
        } else {
            std::free(block);
        }
        return true;
    }

private:
    std::mutex mutex_;
    std::unordered_map<void*, std::size_t> live_;
    std::vector<std::pair<void*, std::size_t>> kept_;
    std::size_t keptBytes_ = 0;
};

LargeBlocks& largeBlocks() {
    // Never destroyed: buffers may be released by static destructors after it would be.
    static auto* blocks = new LargeBlocks;
    return *blocks;
}

} // namespace

void BufferFree::operator()(std::uint8_t* p) const {
    if (p && largeBlocks().give(p)) return;
    std::free(p);
}

Buffer allocateBuffer(std::size_t bytes) {
    void* block = nullptr;
    if (bytes >= kHugePage) {
        if (bytes > SIZE_MAX - kHugePage) throw std::bad_alloc();
        block = largeBlocks().take((bytes + kHugePage - 1) / kHugePage * kHugePage);
    } else {
        block = std::malloc(bytes ? bytes : 1);
    }
    if (!block) throw std::bad_alloc();
    return Buffer(static_cast<std::uint8_t*>(block));
}

} // namespace zeta::platform
