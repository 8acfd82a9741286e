#include "platform/camera/ptp_names.h"

#include <cstdio>

std::string_view PTPNameTable::find(uint16_t code) const {
    for (const PTPNameTable* table = this; table; table = table->base_) {
        for (const PTPCodeName& entry : table->entries_) {
            if (entry.code == code) return entry.name;
        }
    }
    return {};
}

std::string PTPNameTable::name(uint16_t code) const {
    if (const std::string_view found = find(code); !found.empty()) return std::string(found);
    const PTPNameTable* last = this;
    while (last->base_)
        last = last->base_;
    return std::string(last->fallbackPrefix_) + ptpHex4(code);
}

namespace {

// Each table from its list in ptp_codes.h; the name is the constant's name.
#define ZETA_PTP_DATA_TYPE_ROW(code, name, logName) ZETA_PTP_NAME_ROW("PTPDataTypeCode", code, logName)
#define ZETA_PTP_VENDOR_EXTENSION_ROW(code, name) ZETA_PTP_NAME_ROW("PTPVendorExtension", code, name)

constexpr PTPCodeName operationNames[] = {ZETA_PTP_OPERATION_CODES(ZETA_PTP_REQUEST_ROW)};
constexpr PTPCodeName responseNames[] = {ZETA_PTP_RESPONSE_CODES(ZETA_PTP_RESPONSE_ROW)};
constexpr PTPCodeName eventNames[] = {ZETA_PTP_EVENT_CODES(ZETA_PTP_EVENT_ROW)};
constexpr PTPCodeName propertyNames[] = {ZETA_PTP_PROPERTY_CODES(ZETA_PTP_PROPERTY_ROW)};
constexpr PTPCodeName dataTypeNames[] = {ZETA_PTP_DATA_TYPE_CODES(ZETA_PTP_DATA_TYPE_ROW)};
constexpr PTPCodeName vendorExtensionNames[] = {ZETA_PTP_VENDOR_EXTENSION_CODES(ZETA_PTP_VENDOR_EXTENSION_ROW)};

} // namespace

const PTPNameTable ptpOperationNameTable(operationNames, nullptr, "PTPRequestCode");
const PTPNameTable ptpResponseNameTable(responseNames, nullptr, "PTPResponseCode");
const PTPNameTable ptpEventNameTable(eventNames, nullptr, "PTPEventCodeCode");
const PTPNameTable ptpPropertyNameTable(propertyNames, nullptr, "PTPPropertyCode");
const PTPNameTable ptpDataTypeNameTable(dataTypeNames, nullptr, "PTPDataTypeCode");
const PTPNameTable ptpVendorExtensionNameTable(vendorExtensionNames, nullptr, "PTPVendorExtension");

std::string ptpHex4(uint32_t code) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%04x", code);
    return digits;
}

std::string ptpResponseText(uint16_t responseCode, const PTPNameTable& responseNames) {
    return ptpHex4(responseCode) + " = " + responseNames.name(responseCode);
}

std::string ptpOperationName(uint16_t operationCode, const PTPNameTable& operationNames) {
    std::string name = operationNames.name(operationCode);
    constexpr std::string_view prefix = "PTPRequestCode";
    if (name.starts_with(prefix)) name.erase(0, prefix.size());
    return name;
}

std::string ptpOperationFailure(std::string_view operation, uint16_t responseCode, const PTPNameTable& responseNames) {
    return std::string(operation) + " failed (" + ptpResponseText(responseCode, responseNames) + ")";
}
