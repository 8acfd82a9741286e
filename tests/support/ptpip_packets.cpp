#include "support/ptpip_packets.h"

#include <algorithm>

namespace test_support::ptpip {
namespace {

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t get64(const uint8_t* p) {
    return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}

struct Writer {
    std::vector<uint8_t> bytes;
    Writer& u16(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Writer& u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        return u16(static_cast<uint16_t>(v >> 16));
    }
    Writer& u64(uint64_t v) {
        u32(static_cast<uint32_t>(v));
        return u32(static_cast<uint32_t>(v >> 32));
    }
    Writer& raw(std::span<const uint8_t> data) {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    // UTF-16LE with its terminating zero.
    Writer& text(const std::u16string& value) {
        for (char16_t unit : value)
            u16(static_cast<uint16_t>(unit));
        return u16(0);
    }
    Writer& parameters(std::span<const uint32_t> values) {
        for (std::size_t i = 0; i < std::min<std::size_t>(values.size(), 5); ++i)
            u32(values[i]);
        return *this;
    }
};

// Up to five parameters filling the rest of the payload exactly.
std::optional<std::vector<uint32_t>> parameters(std::span<const uint8_t> rest) {
    if (rest.size() % 4 != 0 || rest.size() > 20) return std::nullopt;
    std::vector<uint32_t> values;
    for (std::size_t at = 0; at < rest.size(); at += 4)
        values.push_back(get32(rest.data() + at));
    return values;
}

} // namespace

std::optional<Header> parseHeader(std::span<const uint8_t> bytes) {
    if (bytes.size() < HeaderSize) return std::nullopt;
    return Header{get32(bytes.data()), get32(bytes.data() + 4)};
}

std::optional<InitCommand> parseInitCommandRequest(std::span<const uint8_t> payload) {
    if (payload.size() < 16 + 2 + 4) return std::nullopt;
    InitCommand init;
    std::copy_n(payload.begin(), 16, init.guid.begin());
    std::size_t at = 16;
    while (true) {
        if (at + 2 > payload.size() - 4) return std::nullopt; // no terminating zero before the version
        const uint16_t unit = get16(payload.data() + at);
        at += 2;
        if (unit == 0) break;
        init.name.push_back(static_cast<char16_t>(unit));
    }
    if (payload.size() - at != 4) return std::nullopt;
    init.version = get32(payload.data() + at);
    return init;
}

std::optional<uint32_t> parseInitEventRequest(std::span<const uint8_t> payload) {
    if (payload.size() != 4) return std::nullopt;
    return get32(payload.data());
}

std::optional<Operation> parseOperationRequest(std::span<const uint8_t> payload) {
    if (payload.size() < 10) return std::nullopt;
    auto values = parameters(payload.subspan(10));
    if (!values) return std::nullopt;
    return Operation{get32(payload.data()), get16(payload.data() + 4), get32(payload.data() + 6), std::move(*values)};
}

std::optional<DataStart> parseStartData(std::span<const uint8_t> payload) {
    if (payload.size() != 12) return std::nullopt;
    return DataStart{get32(payload.data()), get64(payload.data() + 4)};
}

std::optional<DataPiece> parseDataPiece(std::span<const uint8_t> payload) {
    if (payload.size() < 4) return std::nullopt;
    return DataPiece{get32(payload.data()), payload.subspan(4)};
}

std::optional<CodeAndParameters> parseCodeAndParameters(std::span<const uint8_t> payload) {
    if (payload.size() < 6) return std::nullopt;
    auto values = parameters(payload.subspan(6));
    if (!values) return std::nullopt;
    return CodeAndParameters{get16(payload.data()), get32(payload.data() + 2), std::move(*values)};
}

std::vector<uint8_t> packet(uint32_t type, std::span<const uint8_t> payload) {
    Writer w;
    w.u32(static_cast<uint32_t>(HeaderSize + payload.size())).u32(type).raw(payload);
    return w.bytes;
}

std::vector<uint8_t> initCommandRequest(const GUID& guid, const std::u16string& name) {
    return packet(InitCommandRequest, Writer().raw(guid).text(name).u32(ProtocolVersion).bytes);
}

std::vector<uint8_t> initCommandAck(uint32_t connectionNumber, const GUID& guid, const std::u16string& name) {
    return packet(InitCommandAck, Writer().u32(connectionNumber).raw(guid).text(name).u32(ProtocolVersion).bytes);
}

std::vector<uint8_t> initEventRequest(uint32_t connectionNumber) {
    return packet(InitEventRequest, Writer().u32(connectionNumber).bytes);
}

std::vector<uint8_t> initEventAck() {
    return packet(InitEventAck);
}

std::vector<uint8_t> initFail(uint32_t reason) {
    return packet(InitFail, Writer().u32(reason).bytes);
}

std::vector<uint8_t> operationRequest(const Operation& operation) {
    return packet(OperationRequest, Writer()
                                        .u32(operation.dataPhase)
                                        .u16(operation.code)
                                        .u32(operation.transactionID)
                                        .parameters(operation.parameters)
                                        .bytes);
}

std::vector<uint8_t> operationResponse(uint16_t code, uint32_t transactionID, std::span<const uint32_t> parameters) {
    return packet(OperationResponse, Writer().u16(code).u32(transactionID).parameters(parameters).bytes);
}

std::vector<uint8_t> event(uint16_t code, uint32_t transactionID, std::span<const uint32_t> parameters) {
    return packet(Event, Writer().u16(code).u32(transactionID).parameters(parameters).bytes);
}

std::vector<uint8_t> startData(uint32_t transactionID, uint64_t totalLength) {
    return packet(StartData, Writer().u32(transactionID).u64(totalLength).bytes);
}

std::vector<uint8_t> dataPiece(uint32_t type, uint32_t transactionID, std::span<const uint8_t> bytes) {
    return packet(type, Writer().u32(transactionID).raw(bytes).bytes);
}

} // namespace test_support::ptpip
