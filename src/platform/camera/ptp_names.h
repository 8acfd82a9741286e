#pragma once
// Code-name tables, built from the code lists in ptp_codes.h: every PTP code in a log line is
// shown by name. A table names the codes it knows, hands the others to the table it extends (a
// vendor table extends the base table), and the last table in the chain builds the fallback
// text "<prefix>0x%04x".

#include "platform/camera/ptp_codes.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Rows of a name table from a code list of ptp_codes.h, named as the constants are:
// `constexpr PTPCodeName rows[] = {ZETA_PTP_NIKON_OPERATION_CODES(ZETA_PTP_REQUEST_ROW)};`
#define ZETA_PTP_NAME_ROW(prefix, code, name) {code, prefix #name},
#define ZETA_PTP_REQUEST_ROW(code, name) ZETA_PTP_NAME_ROW("PTPRequestCode", code, name)
#define ZETA_PTP_RESPONSE_ROW(code, name) ZETA_PTP_NAME_ROW("PTPResponseCode", code, name)
#define ZETA_PTP_EVENT_ROW(code, name) ZETA_PTP_NAME_ROW("PTPEventCode", code, name)
#define ZETA_PTP_PROPERTY_ROW(code, name) ZETA_PTP_NAME_ROW("PTPPropertyCode", code, name)

struct PTPCodeName {
    uint16_t code;
    std::string_view name;
};

class PTPNameTable {
public:
    // `entries` and `base` must outlive the table (tables are static data).
    constexpr PTPNameTable(std::span<const PTPCodeName> entries, const PTPNameTable* base,
                           std::string_view fallbackPrefix)
        : entries_(entries), base_(base), fallbackPrefix_(fallbackPrefix) {}

    // The name from this table or the tables it extends; else "<prefix>0x%04x" of the last one.
    std::string name(uint16_t code) const;
    // The name from this table or the tables it extends; empty when none names the code.
    std::string_view find(uint16_t code) const;

private:
    std::span<const PTPCodeName> entries_;
    const PTPNameTable* base_;
    std::string_view fallbackPrefix_;
};

// The base tables (constant-initialized, so a vendor table may name one as its base in a
// constexpr definition: `constexpr PTPNameTable t(entries, &ptpOperationNameTable, "")`).
extern const PTPNameTable ptpOperationNameTable;       // "PTPRequestCode..."
extern const PTPNameTable ptpResponseNameTable;        // "PTPResponseCode..."
extern const PTPNameTable ptpEventNameTable;           // "PTPEventCode...", fallback "PTPEventCodeCode0x%04x"
extern const PTPNameTable ptpPropertyNameTable;        // "PTPPropertyCode..."
extern const PTPNameTable ptpDataTypeNameTable;        // "PTPDataTypeCode..."
extern const PTPNameTable ptpVendorExtensionNameTable; // "PTPVendorExtension..."

inline const PTPNameTable& ptpOperationNames() {
    return ptpOperationNameTable;
}
inline const PTPNameTable& ptpResponseNames() {
    return ptpResponseNameTable;
}
inline const PTPNameTable& ptpEventNames() {
    return ptpEventNameTable;
}
inline const PTPNameTable& ptpPropertyNames() {
    return ptpPropertyNameTable;
}
inline const PTPNameTable& ptpDataTypeNames() {
    return ptpDataTypeNameTable;
}
inline const PTPNameTable& ptpVendorExtensionNames() {
    return ptpVendorExtensionNameTable;
}

// A code as "0x%04x": how a code without a name or label is shown.
std::string ptpHex4(uint32_t code);
// How a PTP response is shown wherever it ends something: "0x2019 = PTPResponseCodeDeviceBusy".
std::string ptpResponseText(uint16_t responseCode, const PTPNameTable& responseNames = ptpResponseNames());
// "GetDeviceInfo" for PTPRequestCodeGetDeviceInfo (vendor names keep their vendor part).
std::string ptpOperationName(uint16_t operationCode, const PTPNameTable& operationNames = ptpOperationNames());
// The one form of an operation the camera refused, for the log and the user alike:
// "GetDeviceInfo failed (0x2019 = PTPResponseCodeDeviceBusy)".
std::string ptpOperationFailure(std::string_view operation, uint16_t responseCode,
                                const PTPNameTable& responseNames = ptpResponseNames());
