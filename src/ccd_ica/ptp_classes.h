#pragma once
// The five classes one camera family uses (request, response, event, property description,
// device information), as one object a camera can hand out: the generic family, or a vendor's
// `PTPClassesOf<PTPNikonRequest, PTPNikonResponse, PTPNikonEvent, PTPNikonProperty,
// PTPNikonDeviceInfo>`. Class-level name lookups go through the family so that they use the
// vendor's tables.

#include "ccd_ica/ptp_containers.h"
#include "ccd_ica/ptp_datasets.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

class PTPClasses {
public:
    virtual ~PTPClasses() = default;

    virtual std::shared_ptr<PTPRequest> request() const = 0;
    virtual std::shared_ptr<PTPResponse> responseWithData(std::span<const uint8_t> data) const = 0;
    virtual std::shared_ptr<PTPEvent> eventWithData(std::span<const uint8_t> data) const = 0;
    virtual std::shared_ptr<PTPEvent> eventWithCode(uint16_t code, uint32_t parameter1) const = 0;
    virtual std::shared_ptr<PTPProperty> propertyWithData(std::span<const uint8_t> data) const = 0;
    virtual std::shared_ptr<PTPProperty> propertyWithCode(uint16_t code) const = 0;
    virtual std::shared_ptr<PTPDeviceInfo> deviceInfoWithData(std::span<const uint8_t> data) const = 0;

    virtual std::string operationCodeName(uint16_t code) const = 0;
    virtual std::string responseCodeName(uint16_t code) const = 0;
    virtual std::string eventCodeName(uint16_t code) const = 0;
    virtual std::string propertyCodeName(uint16_t code) const = 0;
    std::string typeName(uint16_t datatype) const { return PTPProperty::typeName(datatype); }
};

template <class Request, class Response, class Event, class Property, class DeviceInfo>
class PTPClassesOf final : public PTPClasses {
public:
    std::shared_ptr<PTPRequest> request() const override { return std::make_shared<Request>(); }
    std::shared_ptr<PTPResponse> responseWithData(std::span<const uint8_t> data) const override {
        return PTPResponse::withData<Response>(data);
    }
    std::shared_ptr<PTPEvent> eventWithData(std::span<const uint8_t> data) const override {
        return PTPEvent::withData<Event>(data);
    }
    std::shared_ptr<PTPEvent> eventWithCode(uint16_t code, uint32_t parameter1) const override {
        return PTPEvent::withCode<Event>(code, parameter1);
    }
    std::shared_ptr<PTPProperty> propertyWithData(std::span<const uint8_t> data) const override {
        return PTPProperty::withData<Property>(data);
    }
    std::shared_ptr<PTPProperty> propertyWithCode(uint16_t code) const override {
        return std::make_shared<Property>(code);
    }
    std::shared_ptr<PTPDeviceInfo> deviceInfoWithData(std::span<const uint8_t> data) const override {
        return PTPDeviceInfo::withData<DeviceInfo>(data);
    }

    std::string operationCodeName(uint16_t code) const override { return request_.operationNames().name(code); }
    std::string responseCodeName(uint16_t code) const override { return response_.responseNames().name(code); }
    std::string eventCodeName(uint16_t code) const override { return event_.eventNames().name(code); }
    std::string propertyCodeName(uint16_t code) const override { return property_.propertyNames().name(code); }

private:
    // One instance of each class, asked for its tables.
    Request request_;
    Response response_;
    Event event_;
    Property property_;
};

// PTPRequest, PTPResponse, PTPEvent, PTPProperty, PTPDeviceInfo.
const PTPClasses& ptpGenericClasses();
