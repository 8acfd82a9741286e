#include "ccd_ica/ptp_datasets.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string twoDecimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

} // namespace

bool PTPProperty::parse(std::span<const uint8_t> data) {
    if (data.size() <= 4) return false;
    PTPCursor cursor(data);
    propertyCode = ptp_read_uint16(cursor);
    type = ptp_read_uint16(cursor);
    readOnly = ptp_read_uint8(cursor) == 0;
    if (cursor.overrun) return true; // the flag byte is missing: nothing more to read

    PTPValue read = ptp_read_value(cursor, type);
    if (cursor.overrun) return true;
    defaultValue = std::move(read);

    if (cursor.consumed() >= data.size()) return true;
    read = ptp_read_value(cursor, type);
    if (cursor.overrun) return true;
    value = std::move(read);

    if (cursor.consumed() >= data.size()) return true;
    const uint8_t form = ptp_read_uint8(cursor);
    if (form == 1) {
        PTPValue bounds[3];
        for (PTPValue& bound : bounds) {
            bound = ptp_read_value(cursor, type);
            if (cursor.overrun) return true;
        }
        min = std::move(bounds[0]);
        max = std::move(bounds[1]);
        step = std::move(bounds[2]);
    } else if (form == 2) {
        const uint16_t count = ptp_read_uint16(cursor);
        if (cursor.overrun) return true;
        std::vector<PTPValue> values;
        values.reserve(std::min<std::size_t>(count, cursor.remaining() + 1));
        for (uint16_t i = 0; i < count; ++i) {
            values.push_back(ptp_read_value(cursor, type));
            if (cursor.overrun) return true;
        }
        supportedValues = std::move(values);
    }
    return true;
}

std::string PTPProperty::description() const {
    std::string text = propertyCodeName() + " " + typeName() + (readOnly ? " ro" : " rw");
    if (!min.isNull()) text += ", min = " + min.description();
    if (!max.isNull()) text += ", max = " + max.description();
    if (!step.isNull()) text += ", step = " + step.description();
    if (supportedValues) {
        text += ", values = [";
        for (std::size_t i = 0; i < supportedValues->size(); ++i) {
            if (i) text += ", ";
            text += (*supportedValues)[i].description();
        }
        text += "]";
    }
    text += ", default = " + defaultValue.description();
    text += ", value = " + value.description();
    return text;
}

bool PTPDeviceInfo::parse(std::span<const uint8_t> data) {
    if (data.size() < 12) return false;
    PTPCursor cursor(data);
    standardVersion = ptp_read_uint16(cursor);
    vendorExtension = static_cast<uint16_t>(ptp_read_uint32(cursor));
    vendorExtensionVersion = ptp_read_uint16(cursor);
    auto readText = [&cursor](std::string& field) {
        if (auto text = ptp_read_string(cursor)) field = std::move(*text);
    };
    readText(vendorExtensionDesc);

    // Each further field only while bytes remain, and only while the fields before it fitted.
    auto more = [&] {
        return !cursor.overrun && cursor.consumed() < data.size();
    };
    if (!more()) return true;
    functionalMode = ptp_read_uint16(cursor);
    operationsSupported = ptp_read_uint16_list(cursor);
    if (!more()) return true;
    eventsSupported = ptp_read_uint16_list(cursor);
    if (!more()) return true;
    propertiesSupported = ptp_read_uint16_list(cursor);
    if (!more()) return true;
    ptp_read_uint16_array(cursor); // capture formats
    if (!more()) return true;
    ptp_read_uint16_array(cursor); // image formats
    if (!more()) return true;
    readText(manufacturer);
    if (cursor.overrun) return true;
    if (vendorExtension == PTPVendorExtensionMicrosoft) {
        if (manufacturer.find("Nikon") != std::string::npos) {
            vendorExtension = PTPVendorExtensionNikon;
            vendorExtensionVersion = 100;
            vendorExtensionDesc = "Nikon & Microsoft PTP Extensions";
        } else if (manufacturer.find("Canon") != std::string::npos) {
            vendorExtension = PTPVendorExtensionCanon;
            vendorExtensionVersion = 100;
            vendorExtensionDesc = "Canon & Microsoft PTP Extensions";
        }
    } else if (manufacturer.find("Sony") != std::string::npos) {
        vendorExtension = PTPVendorExtensionSony;
        vendorExtensionDesc = "Sony PTP Extensions";
    }
    if (!more()) return true;
    readText(model);
    if (!more()) return true;
    readText(version);
    if (!more()) return true;
    readText(serial);
    return true;
}

std::shared_ptr<PTPProperty> PTPDeviceInfo::property(uint16_t code) const {
    std::lock_guard lock(propertiesMutex_);
    const auto found = properties_.find(code);
    return found == properties_.end() ? nullptr : found->second;
}

void PTPDeviceInfo::setProperty(std::shared_ptr<PTPProperty> property) {
    if (!property) return;
    std::lock_guard lock(propertiesMutex_);
    const uint16_t code = property->propertyCode;
    properties_[code] = std::move(property);
}

std::map<uint16_t, std::shared_ptr<PTPProperty>> PTPDeviceInfo::properties() const {
    std::lock_guard lock(propertiesMutex_);
    return properties_;
}

std::string PTPDeviceInfo::header(bool alignDescription) const {
    std::string description = vendorExtensionDesc;
    if (alignDescription && description.size() < 8) description.insert(0, 8 - description.size(), ' ');
    return model + " " + version + ", PTP V" + twoDecimals(standardVersion / 100.0) + " + " + description + " V" +
           twoDecimals(vendorExtensionVersion / 100.0);
}

std::string PTPDeviceInfo::description(int indigoLogLevel) const {
    if (static_cast<unsigned>(indigoLogLevel) < 2) return header(true);
    return debug();
}

std::string PTPDeviceInfo::debug() const {
    return listing(ptpOperationNames(), ptpEventNames(), ptpPropertyNames(), true, true);
}

std::string PTPDeviceInfo::listing(const PTPNameTable& operations, const PTPNameTable& events,
                                   const PTPNameTable& propertyNames, bool sectionTitles, bool alignDescription) const {
    std::string text = header(alignDescription) + "\n";
    if (!operationsSupported.empty()) {
        if (sectionTitles) text += "\nOperations:\n";
        for (uint16_t code : operationsSupported)
            text += operations.name(code) + "\n";
    }
    if (!eventsSupported.empty()) {
        if (sectionTitles) text += "\nEvents:\n";
        for (uint16_t code : eventsSupported)
            text += events.name(code) + "\n";
    }
    if (!propertiesSupported.empty()) {
        if (sectionTitles) text += "\nProperties:\n";
        for (uint16_t code : propertiesSupported) {
            const auto described = property(code);
            text += (described ? described->description() : propertyNames.name(code)) + "\n";
        }
    }
    return text;
}
