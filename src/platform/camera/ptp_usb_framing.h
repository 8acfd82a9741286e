#pragma once
// PTP containers on USB bulk endpoints.
//
// Out: a container goes out in one write of whole packets; when its length is an exact
// multiple of the packet size a zero-length packet follows, so the camera sees where it ends.
// In: containers are cut from the stream of bulk reads by their length fields. A zero-length
// packet that ends a container (or that a camera sends on its own) is skipped; bytes that
// arrive beyond a container's end (a camera that leaves out the zero-length packet, so the
// next container arrives in the same read) are kept for the next container.

#include "platform/camera/ptp_port.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zeta::platform {

inline constexpr std::size_t PTPContainerHeaderSize = 12;

struct PTPContainerHeader {
    uint32_t length = 0;
    uint16_t type = 0;
    uint16_t code = 0;
    uint32_t transactionID = 0;
};

std::optional<PTPContainerHeader> parseContainerHeader(std::span<const uint8_t> bytes);
// A container: the header (length = 12 + payload) followed by the payload.
std::vector<uint8_t> makeContainer(uint16_t type, uint16_t code, uint32_t transactionID,
                                   std::span<const uint8_t> payload);

// Sends a whole container, and a zero-length packet when its size is a multiple of the packet size.
PTPPortStatus sendContainer(PTPPort& port, std::span<const uint8_t> container, std::chrono::milliseconds timeout);

// A container received: the header and the payload that followed it.
struct PTPReceivedContainer {
    PTPContainerHeader header;
    std::vector<uint8_t> payload;
};

class PTPContainerReader {
public:
    explicit PTPContainerReader(PTPPort& port) : port_(port) {}

    // Reads the next container. `firstTimeout` bounds the wait for its first bytes (the camera
    // may be working on the operation), `timeout` each further read. A header that cannot be
    // one (length below 12) is an error; the stream is then out of step and the caller resets.
    PTPPortStatus read(PTPReceivedContainer& container, std::chrono::milliseconds firstTimeout,
                       std::chrono::milliseconds timeout);
    // Forgets bytes kept from an earlier read (after a cancel or reset).
    void discard() { pending_.clear(); }

private:
    PTPPortStatus fill(std::size_t wanted, std::chrono::milliseconds timeout);

    PTPPort& port_;
    std::vector<uint8_t> pending_;
};

} // namespace zeta::platform
