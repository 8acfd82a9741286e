#include "platform/camera/packet_queue.h"

#include <algorithm>
#include <cstring>

namespace zeta::platform {

void PacketQueue::write(std::span<const uint8_t> data) {
    {
        std::lock_guard lock(mutex_);
        if (data.empty()) {
            packets_.emplace_back();
            written_.push_back(0);
        }
        for (std::size_t at = 0; at < data.size(); at += maxPacketSize_) {
            const std::size_t size = std::min(maxPacketSize_, data.size() - at);
            packets_.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                                  data.begin() + static_cast<std::ptrdiff_t>(at + size));
            written_.push_back(size);
        }
    }
    changed_.notify_all();
}

PTPPortStatus PacketQueue::read(std::span<uint8_t> buffer, std::size_t& received, std::chrono::milliseconds timeout) {
    received = 0;
    std::unique_lock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        while (!packets_.empty()) {
            std::vector<uint8_t>& packet = packets_.front();
            if (packet.size() > buffer.size() - received) {
                // A packet that does not fit: the host asked for less than a packet (babble).
                return received ? PTPPortStatus::ok : PTPPortStatus::error;
            }
            if (!packet.empty()) std::memcpy(buffer.data() + received, packet.data(), packet.size());
            received += packet.size();
            const bool shortPacket = packet.size() < maxPacketSize_;
            packets_.pop_front();
            if (shortPacket || received == buffer.size()) return PTPPortStatus::ok;
        }
        if (closed_) return received ? PTPPortStatus::ok : PTPPortStatus::removed;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && packets_.empty()) {
            if (closed_) return received ? PTPPortStatus::ok : PTPPortStatus::removed;
            return received ? PTPPortStatus::ok : PTPPortStatus::timeout;
        }
    }
}

std::size_t PacketQueue::pendingPackets() const {
    std::lock_guard lock(mutex_);
    return packets_.size();
}

void PacketQueue::clear() {
    std::lock_guard lock(mutex_);
    packets_.clear();
}

void PacketQueue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

std::vector<std::size_t> PacketQueue::writtenPacketSizes() const {
    std::lock_guard lock(mutex_);
    return written_;
}

} // namespace zeta::platform
