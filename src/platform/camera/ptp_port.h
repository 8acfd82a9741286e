#pragma once
// The seam between the camera framework and a camera's transport: the endpoints of a Still
// Image class USB interface (bulk out, bulk in, interrupt in) and its class requests. A real
// camera is reached through libusb (usb_port), a simulated one in memory (simulated_camera).
//
// Transfers follow USB bulk semantics: a write is sent as packets of at most maxPacketSize()
// bytes (a write of 0 bytes is a zero-length packet); a read returns what arrived up to the
// first short packet or until the buffer is full. Calls block up to their timeout and may be
// made from one I/O thread at a time per endpoint; close() may be called from any thread and
// wakes every blocked call.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zeta::platform {

enum class PTPPortStatus {
    ok,
    timeout,
    removed, // the device is gone (or the port was closed)
    error,
};

const char* describe(PTPPortStatus status);

// What GET_DEVICE_STATUS answers: a PTP response code (0x2001 OK, 0x2019 busy, ...).
struct PTPPortDeviceStatus {
    uint16_t code = 0;
};

class PTPPort {
public:
    virtual ~PTPPort() = default;

    virtual std::size_t maxPacketSize() const = 0;
    // How long to wait for a camera's answer before the transaction is cancelled.
    virtual std::chrono::milliseconds responseTimeout() const = 0;

    virtual PTPPortStatus bulkOut(std::span<const uint8_t> data, std::chrono::milliseconds timeout) = 0;
    virtual PTPPortStatus bulkIn(std::span<uint8_t> buffer, std::size_t& received,
                                 std::chrono::milliseconds timeout) = 0;
    virtual PTPPortStatus interruptIn(std::span<uint8_t> buffer, std::size_t& received,
                                      std::chrono::milliseconds timeout) = 0;

    // Still Image class requests: cancel a transaction, reset the device, read its status.
    virtual PTPPortStatus cancelRequest(uint32_t transactionID) = 0;
    virtual PTPPortStatus deviceReset() = 0;
    virtual PTPPortStatus getDeviceStatus(PTPPortDeviceStatus& status) = 0;

    virtual void close() = 0;
};

} // namespace zeta::platform
