#pragma once
// The bus client of the tests: it copies every define, update, delete and message that reaches
// it (values, state, BLOB bytes), keeps the properties defined now, and lets a test wait for
// what it expects. Callbacks arrive on whichever thread the bus calls from; a test reads on
// its own. Attaching is left to the test; the client detaches when it goes.

#include "indigo/indigo_bus.h"
#include "support/eventually.h"
#include "support/property_listener.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

struct BusItem {
    std::string name, label;
    std::string text; // the value written as text, whatever the type ("On"/"Off", "%.17g", BLOB size)
    double value = 0, min = 0, max = 0, step = 0;
    bool on = false;
};

// One event as the client heard it, values copied while the record was current.
struct BusEvent {
    std::string kind; // "define", "update", "delete", "message"
    std::string device, name, group, label, message;
    indigo_property_state state = INDIGO_IDLE_STATE;
    indigo_property_perm perm = INDIGO_RO_PERM;
    indigo_property_type type = INDIGO_TEXT_VECTOR;
    std::vector<BusItem> items;
    std::vector<std::uint8_t> blob; // the first item's bytes, for a BLOB vector
    std::string blobFormat, blobUrl;
    indigo_property* record = nullptr; // the bus's own record: valid only while its device keeps it
    std::thread::id thread;

    std::string brief() const { return kind + " " + device + "." + name; }
    const BusItem* item(const std::string& itemName) const;
    // The names of the items that are on.
    std::vector<std::string> on() const;
    std::vector<std::string> itemNames() const;
    // The item's value as text, "<none>" when there is no such item.
    std::string value(const std::string& itemName) const;
    double number(const std::string& itemName) const;
};

class RecordingClient : public PropertyListener {
public:
    explicit RecordingClient(const char* name);
    ~RecordingClient() override;

    // Every event so far for the device (all devices when empty).
    std::vector<BusEvent> events(const std::string& device = "") const;
    std::size_t count() const;
    // The events so far, which the client then forgets.
    std::vector<BusEvent> take();
    // take(), as "kind device.name".
    std::vector<std::string> briefs();
    // Events from the index on, for one device and property (empty name: any).
    std::vector<BusEvent> eventsSince(std::size_t index, const std::string& device, const std::string& name = "") const;
    // The property as defined now (its last define or update), none when it is not defined.
    std::optional<BusEvent> property(const std::string& device, const std::string& name) const;
    // The properties of the device defined now, in the order they were defined.
    std::vector<std::string> definedNames(const std::string& device) const;

    // Waits until the predicate holds; it runs under the client's lock (read with the
    // ...Locked functions there).
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience) const;
    // The first event from the index on that matches, waiting for it.
    std::optional<BusEvent> waitFor(const std::function<bool(const BusEvent&)>& match, std::size_t from = 0,
                                    std::chrono::milliseconds timeout = kPatience) const;
    // The first event of the property from the index on that matches, waiting for it.
    std::optional<BusEvent> waitFor(std::size_t from, const std::string& device, const std::string& name,
                                    const std::function<bool(const BusEvent&)>& match,
                                    std::chrono::milliseconds timeout = kPatience) const;

    const std::vector<BusEvent>& eventsLocked() const { return events_; }
    bool definedLocked(const std::string& device, const std::string& name) const;
    bool anyDefinedLocked(const std::string& device) const;

    // Runs inside every define, update, delete and message, after the event is recorded.
    void setOnEvent(std::function<void(const BusEvent&)> handler);

    std::thread::id attachThread;
    std::atomic<bool> detached{false};

private:
    indigo_result record(const char* kind, indigo_property* property, const char* message) override;
    void keep(BusEvent event);
    const BusEvent* findDefined(const std::string& device, const std::string& name) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<BusEvent> events_;
    std::vector<BusEvent> defined_; // in the order defined
    std::function<void(const BusEvent&)> onEvent_;
};

// Matches an event by kind, device and property (and state, when given).
std::function<bool(const BusEvent&)> heard(const std::string& kind, const std::string& device, const std::string& name,
                                           std::optional<indigo_property_state> state = std::nullopt);

} // namespace test_support
