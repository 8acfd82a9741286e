#pragma once
// The two datasets that describe a camera: one device-property description per property, and
// the device information.
//
// Vendor classes derive from these and change only the names: PTPProperty subclasses
// override `propertyNames()`; PTPDeviceInfo subclasses override `debug()` (usually through
// `listing()` with their own tables). Parse into a vendor class with
// `PTPProperty::withData<PTPNikonProperty>(bytes)`.
//
// Every read stays inside the bytes given: a dataset that ends inside a field ends before that
// field, and the fields after it stay absent.

#include "ccd_ica/ptp_containers.h"
#include "ccd_ica/ptp_value.h"
#include "platform/camera/ptp_names.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One device-property description.
class PTPProperty {
public:
    // An empty description with the code and datatype 0, for vendor classes that fill it.
    explicit PTPProperty(uint16_t propertyCode = 0) : propertyCode(propertyCode) {}
    virtual ~PTPProperty() = default;

    // A parsed description; null for no data or 4 bytes or fewer.
    template <class T = PTPProperty>
    static std::shared_ptr<T> withData(std::span<const uint8_t> data) {
        auto property = std::make_shared<T>();
        return static_cast<PTPProperty&>(*property).parse(data) ? property : nullptr;
    }

    uint16_t propertyCode = 0;
    uint16_t type = 0; // PTP datatype
    bool readOnly = false;
    PTPValue defaultValue;
    PTPValue value;
    PTPValue min, max, step;                              // range form; null otherwise
    std::optional<std::vector<PTPValue>> supportedValues; // enumeration form; none otherwise

    std::string propertyCodeName() const { return propertyNames().name(propertyCode); }
    static std::string propertyCodeName(uint16_t code) { return ptpPropertyNames().name(code); }
    std::string typeName() const { return typeName(type); }
    static std::string typeName(uint16_t datatype) { return ptpDataTypeNames().name(datatype); }
    // "<name> <type> ro|rw[, min = ..][, max = ..][, step = ..][, values = [..]], default = .., value = .."
    std::string description() const;

    virtual const PTPNameTable& propertyNames() const { return ptpPropertyNames(); }

private:
    bool parse(std::span<const uint8_t> data);
};

// The device information of a camera, with the descriptions of its properties received so far.
class PTPDeviceInfo : public PTPVendor {
public:
    PTPDeviceInfo() = default;

    // A parsed device information; null for fewer than 12 bytes. Applies the vendor correction
    // (a Microsoft-extension camera made by Nikon or Canon, any camera made by Sony).
    template <class T = PTPDeviceInfo>
    static std::shared_ptr<T> withData(std::span<const uint8_t> data) {
        auto info = std::make_shared<T>();
        return static_cast<PTPDeviceInfo&>(*info).parse(data) ? info : nullptr;
    }

    uint16_t standardVersion = 0;        // x 100
    uint16_t vendorExtensionVersion = 0; // x 100
    std::string vendorExtensionDesc;
    uint16_t functionalMode = 0;
    std::vector<uint16_t> operationsSupported; // the camera's order; empty when it sent none
    std::vector<uint16_t> eventsSupported;
    std::vector<uint16_t> propertiesSupported;
    std::string manufacturer, model, version, serial;

    // The descriptions received so far, by code. The camera replaces them on the callback
    // thread while the driver's other threads read them, so they are reached only through
    // these calls, which lock.
    std::shared_ptr<PTPProperty> property(uint16_t code) const;
    // Stores the description under its code, replacing an earlier one.
    void setProperty(std::shared_ptr<PTPProperty> property);
    std::map<uint16_t, std::shared_ptr<PTPProperty>> properties() const;

    // By INDIGO log level: below 2 (as an unsigned number) the one-line summary, else debug().
    std::string description(int indigoLogLevel) const;
    // The full listing, named through the base tables.
    virtual std::string debug() const;

protected:
    // "<model> <version>, PTP V<std> + <vendor desc> V<ext>" (the description right-aligned in
    // eight characters when `alignDescription`).
    std::string header(bool alignDescription) const;
    // The header line, then one line per supported operation, event and property (a property
    // as its stored description's log text when there is one, else its name), named through
    // the given tables; with section titles ("\nOperations:\n" ...) when `sectionTitles`.
    std::string listing(const PTPNameTable& operations, const PTPNameTable& events, const PTPNameTable& propertyNames,
                        bool sectionTitles, bool alignDescription) const;

private:
    bool parse(std::span<const uint8_t> data);

    mutable std::mutex propertiesMutex_;
    std::map<uint16_t, std::shared_ptr<PTPProperty>> properties_;
};
