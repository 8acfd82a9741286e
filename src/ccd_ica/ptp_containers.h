#pragma once
// PTP containers as the camera driver builds and parses them (USB container layout: u32
// length, u16 type, u16 code, u32 transaction ID, then u32 parameters), and the vendor
// extension record.
//
// Vendor classes derive from these and change nothing but the names: override the one table
// hook (`operationNames()`, `responseNames()`, `eventNames()`) with a table that extends the
// base one. Parsing into a vendor class is `PTPResponse::withData<PTPNikonResponse>(bytes)`.
// Objects are built on one thread and then only read; share them as shared_ptr.

#include "platform/camera/ptp_names.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One operation to send.
class PTPRequest {
public:
    PTPRequest() = default;
    virtual ~PTPRequest() = default;

    uint16_t operationCode = 0;
    uint16_t numberOfParameters = 0; // 0..5
    uint32_t parameter1 = 0, parameter2 = 0, parameter3 = 0, parameter4 = 0, parameter5 = 0;

    // The command container: 12 + 4 x numberOfParameters bytes, transaction ID 0 (the
    // transport numbers transactions).
    std::vector<uint8_t> commandBuffer() const;

    // The name of the code in this class's table, and the class-level lookup of the base table.
    std::string operationCodeName() const { return operationNames().name(operationCode); }
    static std::string operationCodeName(uint16_t code) { return ptpOperationNames().name(code); }
    // The name, then "[0x%08X, ...]" with the parameters in use.
    std::string description() const;

    virtual const PTPNameTable& operationNames() const { return ptpOperationNames(); }
};

// One response container received.
class PTPResponse {
public:
    PTPResponse() = default;
    virtual ~PTPResponse() = default;

    // A response, or null for bytes that are not one: fewer than 12 or more than 32 bytes, a
    // length field outside 12..32, or a type other than response. Parameters that the length
    // field announces beyond the bytes received are not read (numberOfParameters counts only
    // those received).
    template <class T = PTPResponse>
    static std::shared_ptr<T> withData(std::span<const uint8_t> data) {
        auto response = std::make_shared<T>();
        return static_cast<PTPResponse&>(*response).parse(data) ? response : nullptr;
    }

    uint16_t responseCode = 0;
    uint32_t transactionID = 0;
    uint16_t numberOfParameters = 0; // 0..5
    uint32_t parameter1 = 0, parameter2 = 0, parameter3 = 0, parameter4 = 0, parameter5 = 0;

    std::string responseCodeName() const { return responseNames().name(responseCode); }
    static std::string responseCodeName(uint16_t code) { return ptpResponseNames().name(code); }
    std::string description() const;

    virtual const PTPNameTable& responseNames() const { return ptpResponseNames(); }

private:
    bool parse(std::span<const uint8_t> data);
};

// One event container received, or an event made from a code (vendor event polls).
class PTPEvent {
public:
    PTPEvent() = default;
    virtual ~PTPEvent() = default;

    // As PTPResponse::withData, with the bounds 12..24 and the event type.
    template <class T = PTPEvent>
    static std::shared_ptr<T> withData(std::span<const uint8_t> data) {
        auto event = std::make_shared<T>();
        return static_cast<PTPEvent&>(*event).parse(data) ? event : nullptr;
    }
    // An event with the code, one parameter and transaction 0.
    template <class T = PTPEvent>
    static std::shared_ptr<T> withCode(uint16_t code, uint32_t parameter1) {
        auto event = std::make_shared<T>();
        event->eventCode = code;
        event->numberOfParameters = 1;
        event->parameter1 = parameter1;
        return event;
    }

    uint16_t eventCode = 0;
    uint32_t transactionID = 0;
    uint16_t numberOfParameters = 0; // 0..3
    uint32_t parameter1 = 0, parameter2 = 0, parameter3 = 0;

    std::string eventCodeName() const { return eventNames().name(eventCode); }
    static std::string eventCodeName(uint16_t code) { return ptpEventNames().name(code); }
    std::string description() const;

    virtual const PTPNameTable& eventNames() const { return ptpEventNames(); }

private:
    bool parse(std::span<const uint8_t> data);
};

class PTPVendor {
public:
    explicit PTPVendor(uint16_t vendorExtension = 0) : vendorExtension(vendorExtension) {}
    virtual ~PTPVendor() = default;

    uint16_t vendorExtension = 0;

    std::string vendorExtensionName() const { return vendorExtensionName(vendorExtension); }
    static std::string vendorExtensionName(uint16_t code) { return ptpVendorExtensionNames().name(code); }
};
