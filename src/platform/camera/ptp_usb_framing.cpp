#include "platform/camera/ptp_usb_framing.h"

#include <algorithm>
#include <cstring>

namespace zeta::platform {

const char* describe(PTPPortStatus status) {
    switch (status) {
    case PTPPortStatus::ok:
        return "ok";
    case PTPPortStatus::timeout:
        return "timed out";
    case PTPPortStatus::removed:
        return "device removed";
    case PTPPortStatus::error:
        return "transfer error";
    }
    return "transfer error";
}

namespace {

uint32_t get32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Reads at most this much at once, so a large object arrives in pieces the size of a few
// hundred packets rather than as one giant transfer.
constexpr std::size_t kMaxRead = 1 << 20;
// A camera that keeps sending zero-length packets where a container should begin is broken.
constexpr int kMaxZeroLengthReads = 16;

} // namespace

std::optional<PTPContainerHeader> parseContainerHeader(std::span<const uint8_t> bytes) {
    if (bytes.size() < PTPContainerHeaderSize) return std::nullopt;
    return PTPContainerHeader{get32(bytes.data()), get16(bytes.data() + 4), get16(bytes.data() + 6),
                              get32(bytes.data() + 8)};
}

std::vector<uint8_t> makeContainer(uint16_t type, uint16_t code, uint32_t transactionID,
                                   std::span<const uint8_t> payload) {
    std::vector<uint8_t> bytes(PTPContainerHeaderSize + payload.size());
    const auto length = static_cast<uint32_t>(std::min<std::size_t>(bytes.size(), UINT32_MAX));
    const uint8_t header[PTPContainerHeaderSize] = {
        static_cast<uint8_t>(length),
        static_cast<uint8_t>(length >> 8),
        static_cast<uint8_t>(length >> 16),
        static_cast<uint8_t>(length >> 24),
        static_cast<uint8_t>(type),
        static_cast<uint8_t>(type >> 8),
        static_cast<uint8_t>(code),
        static_cast<uint8_t>(code >> 8),
        static_cast<uint8_t>(transactionID),
        static_cast<uint8_t>(transactionID >> 8),
        static_cast<uint8_t>(transactionID >> 16),
        static_cast<uint8_t>(transactionID >> 24),
    };
    std::memcpy(bytes.data(), header, sizeof header);
    if (!payload.empty()) std::memcpy(bytes.data() + PTPContainerHeaderSize, payload.data(), payload.size());
    return bytes;
}

PTPPortStatus sendContainer(PTPPort& port, std::span<const uint8_t> container, std::chrono::milliseconds timeout) {
    const PTPPortStatus status = port.bulkOut(container, timeout);
    if (status != PTPPortStatus::ok) return status;
    const std::size_t packet = port.maxPacketSize();
    if (packet && container.size() % packet == 0) return port.bulkOut({}, timeout);
    return PTPPortStatus::ok;
}

PTPPortStatus PTPContainerReader::fill(std::size_t wanted, std::chrono::milliseconds timeout) {
    const std::size_t packet = std::max<std::size_t>(port_.maxPacketSize(), 1);
    int zeroLengthReads = 0;
    std::vector<uint8_t> chunk;
    while (pending_.size() < wanted) {
        std::size_t size = std::min(wanted - pending_.size(), kMaxRead);
        size = (size + packet - 1) / packet * packet; // whole packets, as the endpoint delivers them
        chunk.resize(size);
        std::size_t received = 0;
        const PTPPortStatus status = port_.bulkIn(chunk, received, timeout);
        if (status != PTPPortStatus::ok) return status;
        if (received == 0) {
            if (++zeroLengthReads > kMaxZeroLengthReads) return PTPPortStatus::error;
            continue;
        }
        zeroLengthReads = 0;
        pending_.insert(pending_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(received));
    }
    return PTPPortStatus::ok;
}

PTPPortStatus PTPContainerReader::read(PTPReceivedContainer& container, std::chrono::milliseconds firstTimeout,
                                       std::chrono::milliseconds timeout) {
    if (PTPPortStatus status = fill(PTPContainerHeaderSize, firstTimeout); status != PTPPortStatus::ok) return status;
    const auto header = parseContainerHeader(pending_);
    if (!header || header->length < PTPContainerHeaderSize || header->length == UINT32_MAX) return PTPPortStatus::error;
    container.header = *header;
    container.payload.clear();

    // The payload grows as it arrives: the length field is the camera's word, not a promise.
    std::size_t missing = header->length - PTPContainerHeaderSize;
    std::size_t at = PTPContainerHeaderSize;
    while (true) {
        const std::size_t available = std::min(pending_.size() - at, missing);
        container.payload.insert(container.payload.end(), pending_.begin() + static_cast<std::ptrdiff_t>(at),
                                 pending_.begin() + static_cast<std::ptrdiff_t>(at + available));
        at += available;
        missing -= available;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
        at = 0;
        if (missing == 0) return PTPPortStatus::ok;
        if (PTPPortStatus status = fill(std::min(missing, kMaxRead), timeout); status != PTPPortStatus::ok)
            return status;
    }
}

} // namespace zeta::platform
