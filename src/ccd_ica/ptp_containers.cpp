#include "ccd_ica/ptp_containers.h"

#include "ccd_ica/ptp_value.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t kHeaderSize = 12;

std::string withParameters(std::string name, std::span<const uint32_t> parameters) {
    if (parameters.empty()) return name;
    char text[16];
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        std::snprintf(text, sizeof text, i ? ", 0x%08X" : "[0x%08X", parameters[i]);
        name += text;
    }
    return name + "]";
}

struct ParsedContainer {
    uint16_t code = 0;
    uint32_t transactionID = 0;
    uint16_t numberOfParameters = 0;
    uint32_t parameters[5] = {};
};

// Checks the container bounds and type; reads only parameters inside both the length field
// and the bytes received.
bool parseContainer(std::span<const uint8_t> data, uint16_t type, std::size_t maxSize, std::size_t maxParameters,
                    ParsedContainer& out) {
    if (data.size() < kHeaderSize || data.size() > maxSize) return false;
    PTPCursor cursor(data);
    const uint32_t length = ptp_read_uint32(cursor);
    if (length < kHeaderSize || length > maxSize) return false;
    if (ptp_read_uint16(cursor) != type) return false;
    out.code = ptp_read_uint16(cursor);
    out.transactionID = ptp_read_uint32(cursor);
    const std::size_t available = std::min<std::size_t>(length, data.size());
    out.numberOfParameters = static_cast<uint16_t>(std::min((available - kHeaderSize) / 4, maxParameters));
    for (std::size_t i = 0; i < out.numberOfParameters; ++i)
        out.parameters[i] = ptp_read_uint32(cursor);
    return true;
}

} // namespace

std::vector<uint8_t> PTPRequest::commandBuffer() const {
    const std::size_t size = kHeaderSize + 4 * std::size_t{numberOfParameters};
    std::vector<uint8_t> block(size, 0);
    PTPWriteCursor cursor(block);
    ptp_write_uint32(cursor, static_cast<uint32_t>(size));
    ptp_write_uint16(cursor, PTPContainerTypeCommand);
    ptp_write_uint16(cursor, operationCode);
    ptp_write_uint32(cursor, 0);
    const uint32_t parameters[] = {parameter1, parameter2, parameter3, parameter4, parameter5};
    for (std::size_t i = 0; i < std::min<std::size_t>(numberOfParameters, 5); ++i)
        ptp_write_uint32(cursor, parameters[i]);
    return block;
}

std::string PTPRequest::description() const {
    const uint32_t parameters[] = {parameter1, parameter2, parameter3, parameter4, parameter5};
    return withParameters(operationCodeName(), std::span(parameters, std::min<std::size_t>(numberOfParameters, 5)));
}

bool PTPResponse::parse(std::span<const uint8_t> data) {
    ParsedContainer c;
    if (!parseContainer(data, PTPContainerTypeResponse, 32, 5, c)) return false;
    responseCode = c.code;
    transactionID = c.transactionID;
    numberOfParameters = c.numberOfParameters;
    parameter1 = c.parameters[0];
    parameter2 = c.parameters[1];
    parameter3 = c.parameters[2];
    parameter4 = c.parameters[3];
    parameter5 = c.parameters[4];
    return true;
}

std::string PTPResponse::description() const {
    const uint32_t parameters[] = {parameter1, parameter2, parameter3, parameter4, parameter5};
    return withParameters(responseCodeName(), std::span(parameters, std::min<std::size_t>(numberOfParameters, 5)));
}

bool PTPEvent::parse(std::span<const uint8_t> data) {
    ParsedContainer c;
    if (!parseContainer(data, PTPContainerTypeEvent, 24, 3, c)) return false;
    eventCode = c.code;
    transactionID = c.transactionID;
    numberOfParameters = c.numberOfParameters;
    parameter1 = c.parameters[0];
    parameter2 = c.parameters[1];
    parameter3 = c.parameters[2];
    return true;
}

std::string PTPEvent::description() const {
    const uint32_t parameters[] = {parameter1, parameter2, parameter3};
    return withParameters(eventCodeName(), std::span(parameters, std::min<std::size_t>(numberOfParameters, 3)));
}
