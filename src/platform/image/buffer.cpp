#include "platform/image/buffer.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace zeta::platform {
namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

} // namespace

void BufferFree::operator()(std::uint8_t* p) const {
    std::free(p);
}

Buffer allocateBuffer(std::size_t bytes) {
    void* block = nullptr;
    if (bytes >= kHugePage) {
        if (bytes > SIZE_MAX - kHugePage) throw std::bad_alloc();
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        block = std::aligned_alloc(kHugePage, rounded);
        // Only advice: without huge pages the block works all the same.
        if (block) (void)madvise(block, rounded, MADV_HUGEPAGE);
    } else {
        block = std::malloc(bytes ? bytes : 1);
    }
    if (!block) throw std::bad_alloc();
    return Buffer(static_cast<std::uint8_t*>(block));
}

} // namespace zeta::platform
