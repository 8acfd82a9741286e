#include "support/recording_client.h"

#include "indigo/indigo_property.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace test_support {

const BusItem* BusEvent::item(const std::string& itemName) const {
    for (const BusItem& i : items) {
        if (i.name == itemName) return &i;
    }
    return nullptr;
}

std::vector<std::string> BusEvent::on() const {
    std::vector<std::string> names;
    for (const BusItem& i : items) {
        if (i.on) names.push_back(i.name);
    }
    return names;
}

std::vector<std::string> BusEvent::itemNames() const {
    std::vector<std::string> names;
    for (const BusItem& i : items)
        names.push_back(i.name);
    return names;
}

std::string BusEvent::value(const std::string& itemName) const {
    const BusItem* found = item(itemName);
    return found != nullptr ? found->text : "<none>";
}

double BusEvent::number(const std::string& itemName) const {
    return std::atof(value(itemName).c_str());
}

namespace {

BusItem copyItem(indigo_property_type type, const indigo_item& item) {
    BusItem copy;
    copy.name = item.name;
    copy.label = item.label;
    char number[64];
    switch (type) {
    case INDIGO_TEXT_VECTOR:
        copy.text = item.text.value;
        break;
    case INDIGO_NUMBER_VECTOR:
        copy.value = item.number.value;
        copy.min = item.number.min;
        copy.max = item.number.max;
        copy.step = item.number.step;
        std::snprintf(number, sizeof number, "%.17g", item.number.value);
        copy.text = number;
        break;
    case INDIGO_SWITCH_VECTOR:
        copy.on = item.sw.value;
        copy.text = item.sw.value ? "On" : "Off";
        break;
    case INDIGO_LIGHT_VECTOR:
        copy.text = std::to_string(item.light.value);
        break;
    case INDIGO_BLOB_VECTOR:
        copy.text = std::to_string(item.blob.size);
        break;
    }
    return copy;
}

} // namespace

RecordingClient::RecordingClient(const char* name) : PropertyListener(name) {
    client.attach = [](indigo_client* c) {
        owner<RecordingClient>(c)->attachThread = std::this_thread::get_id();
        return INDIGO_OK;
    };
    client.detach = [](indigo_client* c) {
        owner<RecordingClient>(c)->detached = true;
        return INDIGO_OK;
    };
    client.send_message = [](indigo_client* c, indigo_device* d, const char* m) {
        BusEvent event;
        event.kind = "message";
        event.device = d != nullptr ? d->name : "";
        event.message = m != nullptr ? m : "";
        event.thread = std::this_thread::get_id();
        owner<RecordingClient>(c)->keep(std::move(event));
        return INDIGO_OK;
    };
}

RecordingClient::~RecordingClient() {
    indigo_detach_client(&client);
}

indigo_result RecordingClient::record(const char* kind, indigo_property* p, const char* message) {
    BusEvent event;
    event.kind = kind;
    event.device = p->device;
    event.name = p->name;
    event.group = p->group;
    event.label = p->label;
    event.message = message != nullptr ? message : "";
    event.state = p->state;
    event.perm = p->perm;
    event.type = p->type;
    event.record = p;
    event.thread = std::this_thread::get_id();
    for (int i = 0; i < p->count; ++i)
        event.items.push_back(copyItem(p->type, p->items[i]));
    if (p->type == INDIGO_BLOB_VECTOR && p->count > 0) {
        const indigo_item& first = p->items[0];
        if (first.blob.value != nullptr && first.blob.size > 0) {
            const auto* bytes = static_cast<const std::uint8_t*>(first.blob.value);
            event.blob.assign(bytes, bytes + first.blob.size);
        }
        event.blobFormat = first.blob.format;
        event.blobUrl = first.blob.url;
    }
    keep(std::move(event));
    return INDIGO_OK;
}

void RecordingClient::keep(BusEvent event) {
    std::function<void(const BusEvent&)> handler;
    {
        std::lock_guard lock(mutex_);
        if (event.kind == "delete") {
            // A delete names one property, or every property of the device.
            std::erase_if(defined_, [&](const BusEvent& d) {
                return d.device == event.device && (event.name.empty() || d.name == event.name);
            });
        } else if (event.kind == "define" || event.kind == "update") {
            auto found = std::find_if(defined_.begin(), defined_.end(), [&](const BusEvent& d) {
                return d.device == event.device && d.name == event.name;
            });
            if (found != defined_.end())
                *found = event;
            else if (event.kind == "define")
                defined_.push_back(event);
        }
        events_.push_back(event);
        handler = onEvent_;
    }
    changed_.notify_all();
    if (handler) handler(event);
}

std::vector<BusEvent> RecordingClient::events(const std::string& device) const {
    std::lock_guard lock(mutex_);
    std::vector<BusEvent> found;
    for (const BusEvent& e : events_) {
        if (device.empty() || e.device == device) found.push_back(e);
    }
    return found;
}

std::size_t RecordingClient::count() const {
    std::lock_guard lock(mutex_);
    return events_.size();
}

std::vector<BusEvent> RecordingClient::take() {
    std::lock_guard lock(mutex_);
    std::vector<BusEvent> taken;
    taken.swap(events_);
    return taken;
}

std::vector<std::string> RecordingClient::briefs() {
    std::vector<std::string> result;
    for (const BusEvent& event : take())
        result.push_back(event.brief());
    return result;
}

std::vector<BusEvent> RecordingClient::eventsSince(std::size_t index, const std::string& device,
                                                   const std::string& name) const {
    std::lock_guard lock(mutex_);
    std::vector<BusEvent> found;
    for (std::size_t i = index; i < events_.size(); ++i) {
        if (events_[i].device == device && (name.empty() || events_[i].name == name)) found.push_back(events_[i]);
    }
    return found;
}

const BusEvent* RecordingClient::findDefined(const std::string& device, const std::string& name) const {
    for (const BusEvent& d : defined_) {
        if (d.device == device && d.name == name) return &d;
    }
    return nullptr;
}

std::optional<BusEvent> RecordingClient::property(const std::string& device, const std::string& name) const {
    std::lock_guard lock(mutex_);
    const BusEvent* found = findDefined(device, name);
    if (found == nullptr) return std::nullopt;
    return *found;
}

std::vector<std::string> RecordingClient::definedNames(const std::string& device) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const BusEvent& d : defined_) {
        if (d.device == device) names.push_back(d.name);
    }
    return names;
}

bool RecordingClient::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, done);
}

std::optional<BusEvent> RecordingClient::waitFor(const std::function<bool(const BusEvent&)>& match, std::size_t from,
                                                 std::chrono::milliseconds timeout) const {
    std::optional<BusEvent> found;
    waitUntil(
        [&] {
            for (std::size_t i = from; i < events_.size(); ++i) {
                if (match(events_[i])) {
                    found = events_[i];
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

std::optional<BusEvent> RecordingClient::waitFor(std::size_t from, const std::string& device, const std::string& name,
                                                 const std::function<bool(const BusEvent&)>& match,
                                                 std::chrono::milliseconds timeout) const {
    return waitFor([&](const BusEvent& e) { return e.device == device && e.name == name && match(e); }, from, timeout);
}

bool RecordingClient::definedLocked(const std::string& device, const std::string& name) const {
    return findDefined(device, name) != nullptr;
}

bool RecordingClient::anyDefinedLocked(const std::string& device) const {
    return std::any_of(defined_.begin(), defined_.end(), [&](const BusEvent& d) { return d.device == device; });
}

void RecordingClient::setOnEvent(std::function<void(const BusEvent&)> handler) {
    std::lock_guard lock(mutex_);
    onEvent_ = std::move(handler);
}

std::function<bool(const BusEvent&)> heard(const std::string& kind, const std::string& device, const std::string& name,
                                           std::optional<indigo_property_state> state) {
    return [=](const BusEvent& e) {
        return e.kind == kind && e.device == device && e.name == name && (!state || e.state == *state);
    };
}

} // namespace test_support
