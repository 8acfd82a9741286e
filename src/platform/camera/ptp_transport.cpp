#include "platform/camera/ptp_transport.h"

#include "platform/camera/ptp_codes.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace zeta::platform {
namespace {

constexpr std::chrono::milliseconds kTransferTimeout{5000};
constexpr int kStatusPolls = 20;
constexpr std::chrono::milliseconds kStatusPollInterval{50};

} // namespace

void PTPTransport::recover(uint32_t transactionID) {
    reader_.discard();
    if (port_.cancelRequest(transactionID) == PTPPortStatus::removed) return;
    for (int i = 0; i < kStatusPolls; ++i) {
        PTPPortDeviceStatus status;
        const PTPPortStatus result = port_.getDeviceStatus(status);
        if (result == PTPPortStatus::removed) return;
        if (result == PTPPortStatus::ok && status.code == PTPResponseCodeOK) {
            reader_.discard();
            return;
        }
        if (result == PTPPortStatus::ok && status.code != PTPResponseCodeDeviceBusy) break;
        std::this_thread::sleep_for(kStatusPollInterval);
    }
    port_.deviceReset();
    reader_.discard();
}

PTPTransactionResult PTPTransport::transact(std::span<const uint8_t> command, std::span<const uint8_t> outData) {
    PTPTransactionResult result;
    const auto header = parseContainerHeader(command);
    if (!header || header->length != command.size() || command.size() > PTPContainerHeaderSize + 4 * 5) {
        result.status = PTPPortStatus::error;
        result.error = "malformed command container";
        return result;
    }
    const uint32_t transactionID = nextTransactionID_++;
    const uint16_t code = header->code;
    std::vector<uint8_t> numbered(command.begin(), command.end());
    numbered[4] = 1; // a command, whatever the caller wrote
    numbered[5] = 0;
    for (int i = 0; i < 4; ++i)
        numbered[8 + i] = static_cast<uint8_t>(transactionID >> (8 * i));

    auto fail = [&](PTPPortStatus status, const char* what) {
        result.status = status;
        result.error = std::string(what) + ": " + describe(status);
        if (status != PTPPortStatus::removed) recover(transactionID);
        return result;
    };

    if (PTPPortStatus s = sendContainer(port_, numbered, kTransferTimeout); s != PTPPortStatus::ok)
        return fail(s, "command phase");
    if (!outData.empty()) {
        const std::vector<uint8_t> data = makeContainer(2, code, transactionID, outData);
        if (PTPPortStatus s = sendContainer(port_, data, kTransferTimeout); s != PTPPortStatus::ok)
            return fail(s, "data phase out");
    }

    // Data in (optional), then the response; containers of other transactions are stale.
    PTPReceivedContainer container;
    for (int stale = 0; stale < 8; ++stale) {
        const PTPPortStatus s = reader_.read(container, port_.responseTimeout(), kTransferTimeout);
        if (s != PTPPortStatus::ok) return fail(s, "response phase");
        if (container.header.transactionID != transactionID) continue;
        if (container.header.type == 2) {
            result.dataIn = std::move(container.payload);
            continue;
        }
        if (container.header.type == 3) {
            result.response.resize(PTPContainerHeaderSize + container.payload.size());
            const std::vector<uint8_t> headerBytes = makeContainer(3, container.header.code, transactionID, {});
            std::memcpy(result.response.data(), headerBytes.data(), PTPContainerHeaderSize);
            // Keep the length field the camera sent; the parser checks it against the bytes.
            for (int i = 0; i < 4; ++i)
                result.response[i] = static_cast<uint8_t>(container.header.length >> (8 * i));
            if (!container.payload.empty())
                std::memcpy(result.response.data() + PTPContainerHeaderSize, container.payload.data(),
                            container.payload.size());
            return result;
        }
    }
    return fail(PTPPortStatus::error, "response phase");
}

} // namespace zeta::platform
