#pragma once
// PTP/IP packets as the test endpoint reads and writes them: a header of a 32-bit length (the
// whole packet, header included) and a 32-bit type, then the payload, all little-endian.
// Each reader takes exactly one packet's payload and answers nothing when the bytes don't fit.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace test_support::ptpip {

enum PacketType : uint32_t {
    InitCommandRequest = 1,
    InitCommandAck = 2,
    InitEventRequest = 3,
    InitEventAck = 4,
    InitFail = 5,
    OperationRequest = 6,
    OperationResponse = 7,
    Event = 8,
    StartData = 9,
    Data = 10,
    Cancel = 11,
    EndData = 12,
    ProbeRequest = 13,
    ProbeResponse = 14,
};

inline constexpr std::size_t HeaderSize = 8;
inline constexpr uint32_t ProtocolVersion = 0x00010000;
// Init Fail reasons.
inline constexpr uint32_t FailRejected = 1;
inline constexpr uint32_t FailBusy = 2;
// Operation Request data phase: none or in, out.
inline constexpr uint32_t DataPhaseOut = 2;

using GUID = std::array<uint8_t, 16>;

struct Header {
    uint32_t length = 0;
    uint32_t type = 0;
};
std::optional<Header> parseHeader(std::span<const uint8_t> bytes);

struct InitCommand {
    GUID guid{};
    std::u16string name;
    uint32_t version = 0;
};
std::optional<InitCommand> parseInitCommandRequest(std::span<const uint8_t> payload);
std::optional<uint32_t> parseInitEventRequest(std::span<const uint8_t> payload);

struct Operation {
    uint32_t dataPhase = 0;
    uint16_t code = 0;
    uint32_t transactionID = 0;
    std::vector<uint32_t> parameters;
};
std::optional<Operation> parseOperationRequest(std::span<const uint8_t> payload);

struct DataStart {
    uint32_t transactionID = 0;
    uint64_t totalLength = 0;
};
std::optional<DataStart> parseStartData(std::span<const uint8_t> payload);
// Data and End Data: the transaction and the bytes after it.
struct DataPiece {
    uint32_t transactionID = 0;
    std::span<const uint8_t> bytes;
};
std::optional<DataPiece> parseDataPiece(std::span<const uint8_t> payload);

// An Operation Response or an Event: a code, the transaction and up to five parameters.
struct CodeAndParameters {
    uint16_t code = 0;
    uint32_t transactionID = 0;
    std::vector<uint32_t> parameters;
};
std::optional<CodeAndParameters> parseCodeAndParameters(std::span<const uint8_t> payload);

std::vector<uint8_t> packet(uint32_t type, std::span<const uint8_t> payload = {});
std::vector<uint8_t> initCommandRequest(const GUID& guid, const std::u16string& name);
std::vector<uint8_t> initCommandAck(uint32_t connectionNumber, const GUID& guid, const std::u16string& name);
std::vector<uint8_t> initEventRequest(uint32_t connectionNumber);
std::vector<uint8_t> initEventAck();
std::vector<uint8_t> initFail(uint32_t reason);
std::vector<uint8_t> operationRequest(const Operation& operation);
std::vector<uint8_t> operationResponse(uint16_t code, uint32_t transactionID, std::span<const uint32_t> parameters);
std::vector<uint8_t> event(uint16_t code, uint32_t transactionID, std::span<const uint32_t> parameters);
std::vector<uint8_t> startData(uint32_t transactionID, uint64_t totalLength);
std::vector<uint8_t> dataPiece(uint32_t type, uint32_t transactionID, std::span<const uint8_t> bytes);

} // namespace test_support::ptpip
