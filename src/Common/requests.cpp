// Property change requests of INDIGO. Each is copied on the caller's thread and sent from one
// serial queue, so that requests reach the bus in the order they were made (a device told
// "CONFIG LOAD", "CONNECTION CONNECTED", "CONFIG LOAD" sees them in that order).

#include "Common/device.h"
#include "Common/indigo_client.h"
#include "Common/property.h"
#include "Common/record_fields.h"

#include <memory>

struct INDIGO::Request {
    enum class Kind { Text, Number, Switch, EnableBLOB };

    Kind kind = Kind::Number;
    std::string device;
    std::string property;
    std::vector<std::string> names;
    std::vector<std::string> texts;
    std::vector<double> numbers;
    std::unique_ptr<bool[]> switches;
    std::shared_ptr<Property> blobProperty;
    bool enable = false;
};

namespace {

std::string tooLong(const std::string& device, const std::string& property, const char* what, std::size_t limit) {
    return "Can't change " + device + "." + property + ": " + what + " is longer than " + std::to_string(limit) +
           " bytes";
}

} // namespace

bool INDIGO::fits(const Request& request) {
    const char* what = nullptr;
    std::size_t limit = kMaxNameBytes;
    if (request.device.size() > kMaxNameBytes)
        what = "the device name";
    else if (request.property.size() > kMaxNameBytes)
        what = "the property name";
    for (const std::string& name : request.names)
        if (what == nullptr && name.size() > kMaxNameBytes) what = "an item name";
    for (const std::string& text : request.texts)
        if (what == nullptr && text.size() > kMaxTextBytes) {
            what = "a text value";
            limit = kMaxTextBytes;
        }
    if (what == nullptr) return true;
    // The names in the line are cut so that the line itself stays readable.
    message(tooLong(request.device.substr(0, kMaxNameBytes), request.property.substr(0, kMaxNameBytes), what, limit));
    return false;
}

void INDIGO::send(std::unique_ptr<Request> request) {
    if (!fits(*request)) return;
    std::shared_ptr<Request> shared = std::move(request);
    requestQueue_->async([this, shared] {
        Request& r = *shared;
        indigo_client* client = &client_;
        if (r.kind == Request::Kind::EnableBLOB) {
            indigo_property* record = r.blobProperty->property();
            if (readCode(record->type) != INDIGO_BLOB_VECTOR) return;
            indigo_enable_blob_mode mode = INDIGO_ENABLE_BLOB_NEVER;
            if (r.enable)
                mode = record->version >= INDIGO_VERSION_2_0 ? INDIGO_ENABLE_BLOB_URL : INDIGO_ENABLE_BLOB_ALSO;
            indigo_enable_blob(client, record, mode);
            return;
        }
        std::vector<const char*> names;
        names.reserve(r.names.size());
        for (const std::string& name : r.names)
            names.push_back(name.c_str());
        const int count = static_cast<int>(names.size());
        switch (r.kind) {
        case Request::Kind::Text: {
            std::vector<const char*> texts;
            texts.reserve(r.texts.size());
            for (const std::string& text : r.texts)
                texts.push_back(text.c_str());
            indigo_change_text_property(client, r.device.c_str(), r.property.c_str(), count, names.data(),
                                        texts.data());
            break;
        }
        case Request::Kind::Number:
            indigo_change_number_property(client, r.device.c_str(), r.property.c_str(), count, names.data(),
                                          r.numbers.data());
            break;
        case Request::Kind::Switch:
            indigo_change_switch_property(client, r.device.c_str(), r.property.c_str(), count, names.data(),
                                          r.switches.get());
            break;
        case Request::Kind::EnableBLOB:
            break;
        }
    });
}

void INDIGO::setSwitchItem(const std::shared_ptr<Property>& property, std::string_view name, bool value) {
    if (!property || !property->item(name)) return;
    changeSwitchProperty(property->device()->name(), property->name(), name, value);
}

void INDIGO::setNumberItems(const std::shared_ptr<Property>& property, const NumberValues& values) {
    if (property) changeNumberProperty(property->device()->name(), property->name(), values);
}

void INDIGO::setTextItems(const std::shared_ptr<Property>& property, const TextValues& values) {
    if (!property) return;
    auto request = std::make_unique<Request>();
    request->kind = Request::Kind::Text;
    request->device = property->device()->name();
    request->property = property->name();
    for (const auto& [name, value] : values) {
        request->names.push_back(name);
        request->texts.push_back(value);
    }
    send(std::move(request));
}

void INDIGO::changeNumberProperty(std::string_view device, std::string_view property, const NumberValues& values) {
    auto request = std::make_unique<Request>();
    request->kind = Request::Kind::Number;
    request->device = device;
    request->property = property;
    for (const auto& [name, value] : values) {
        request->names.push_back(name);
        request->numbers.push_back(value);
    }
    send(std::move(request));
}

void INDIGO::changeSwitchProperty(std::string_view device, std::string_view property, std::string_view item,
                                  bool value) {
    auto request = std::make_unique<Request>();
    request->kind = Request::Kind::Switch;
    request->device = device;
    request->property = property;
    request->names.emplace_back(item);
    request->switches = std::make_unique<bool[]>(1);
    request->switches[0] = value;
    send(std::move(request));
}

void INDIGO::enableBLOB(const std::shared_ptr<Property>& property, bool enable) {
    if (!property) return;
    auto request = std::make_unique<Request>();
    request->kind = Request::Kind::EnableBLOB;
    request->device = property->device()->name();
    request->property = property->name();
    request->blobProperty = property;
    request->enable = enable;
    send(std::move(request));
}
