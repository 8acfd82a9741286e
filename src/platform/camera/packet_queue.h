#pragma once
// One direction of an in-memory USB endpoint: writes become packets of at most the packet
// size (an empty write is a zero-length packet), reads take packets the way a bulk read
// does: up to the first short packet or until the buffer is full. Used by the simulated camera
// and by tests of the framing code.

#include "platform/camera/ptp_port.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

namespace zeta::platform {

class PacketQueue {
public:
    explicit PacketQueue(std::size_t maxPacketSize) : maxPacketSize_(maxPacketSize) {}

    void write(std::span<const uint8_t> data);
    PTPPortStatus read(std::span<uint8_t> buffer, std::size_t& received, std::chrono::milliseconds timeout);
    // Packets written so far that no read has taken.
    std::size_t pendingPackets() const;
    void clear();
    // After close, reads return `removed` once the queued packets are gone.
    void close();
    // Sizes of every packet ever written, in order (for tests of the framing).
    std::vector<std::size_t> writtenPacketSizes() const;

    std::size_t maxPacketSize() const { return maxPacketSize_; }

private:
    const std::size_t maxPacketSize_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> packets_;
    std::vector<std::size_t> written_;
    bool closed_ = false;
};

} // namespace zeta::platform
