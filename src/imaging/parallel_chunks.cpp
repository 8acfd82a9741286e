#include "imaging/parallel_chunks.h"

#include "platform/dispatch.h"

#include <algorithm>
#include <thread>

namespace zeta::imaging {
namespace {

// More threads than this only queue behind one another for the memory.
constexpr std::size_t kMaxChunks = 8;

} // namespace

void forEachChunk(std::size_t count, std::size_t minChunk, const std::function<void(std::size_t, std::size_t)>& work) {
    const std::size_t cores = std::max<std::size_t>(1, std::thread::hardware_concurrency());
    const std::size_t chunks = std::min({kMaxChunks, cores, count / std::max<std::size_t>(1, minChunk)});
    if (chunks < 2) {
        if (count > 0) work(0, count);
        return;
    }
    // The pool's workers, which it owns and keeps: starting threads for each frame costs
    // as much as a chunk of its work.
    const std::size_t size = (count + chunks - 1) / chunks;
    dispatch::Semaphore done;
    std::size_t queued = 0;
    for (std::size_t begin = size; begin < count; begin += size, ++queued) {
        const std::size_t end = std::min(count, begin + size);
        try {
            dispatch::globalQueue(dispatch::QoS::UserInitiated).async([&work, &done, begin, end] {
                struct Signal {
                    dispatch::Semaphore& done;
                    ~Signal() { done.signal(); }
                } signal{done};
                work(begin, end);
            });
        } catch (...) {
            // Nowhere to queue it: this thread does the rest.
            work(begin, count);
            break;
        }
    }
    work(0, std::min(count, size));
    for (std::size_t i = 0; i < queued; ++i)
        done.wait();
}

} // namespace zeta::imaging
