#pragma once
// Work over a range split across a few threads, for passes over a whole frame that memory
// bandwidth bounds: one thread alone cannot draw all of it. The chunks run on the global
// queue's workers; a call returns once every chunk is done.

#include <cstddef>
#include <functional>

namespace zeta::imaging {

// Calls work(begin, end) on consecutive chunks covering [0, count), each at least minChunk
// long (save the last), one of them on the calling thread; returns when all are done. A
// range shorter than two chunks runs on the calling thread alone.
void forEachChunk(std::size_t count, std::size_t minChunk, const std::function<void(std::size_t, std::size_t)>& work);

} // namespace zeta::imaging
