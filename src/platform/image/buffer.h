#pragma once
// Memory for pixels and frames. Blocks of megabytes are backed by huge pages where the
// system offers them: first touching tens of megabytes of ordinary pages costs thousands of
// page faults, which would take longer than decoding the frame; for the same reason a few
// released blocks of megabytes are kept for the next ones of the same size. Contents are not
// initialised. Throws std::bad_alloc when no memory can be had, like new. Any thread.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zeta::platform {

struct BufferFree {
    void operator()(std::uint8_t* p) const;
};
using Buffer = std::unique_ptr<std::uint8_t[], BufferFree>;

Buffer allocateBuffer(std::size_t bytes);

} // namespace zeta::platform
