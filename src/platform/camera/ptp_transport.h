#pragma once
// One PTP transaction over a port: the command container (numbered here), an optional data
// phase out, then an optional data phase in and the response container.
//
// A camera that does not answer within the port's response timeout gets the class request
// Cancel for the transaction and is polled with GET_DEVICE_STATUS until it is ready again (a
// camera still out of step after that is reset), so the next transaction starts clean. Only
// the I/O thread of the device calls transact().

#include "platform/camera/ptp_port.h"
#include "platform/camera/ptp_usb_framing.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zeta::platform {

struct PTPTransactionResult {
    PTPPortStatus status = PTPPortStatus::ok;
    std::vector<uint8_t> dataIn;   // the payload of the data phase in, if there was one
    std::vector<uint8_t> response; // the response container as received; empty when none came
    std::string error;             // why no response came
};

class PTPTransport {
public:
    explicit PTPTransport(PTPPort& port) : port_(port), reader_(port) {}

    // `command` is a command container as the driver builds it (its transaction ID is replaced
    // by the next number of the session). The session's first transaction (OpenSession) is 0.
    PTPTransactionResult transact(std::span<const uint8_t> command, std::span<const uint8_t> outData);
    // Starts numbering again (a new session).
    void resetTransactionIDs() { nextTransactionID_ = 0; }

private:
    void recover(uint32_t transactionID);

    PTPPort& port_;
    PTPContainerReader reader_;
    uint32_t nextTransactionID_ = 0;
};

} // namespace zeta::platform
