#pragma once
// The bus's shared state: attached clients and devices, and the records each device has
// defined (the bus holds a reference to each until its delete has gone out).

#include "indigo/bus/indigo_bus_attachment.h"
#include "indigo/indigo_bus.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace zeta::indigo {

class Bus {
public:
    static Bus& instance();

    AttachmentList<indigo_client> clients;
    AttachmentList<indigo_device> devices;

    // Notes that the device has the record defined (once per record) and takes a reference.
    void track(const indigo_device* device, indigo_property* property);
    // Takes off the device's records that the delete names (an empty name: every record of
    // that device name; an empty device name too: every record); the caller releases them
    // after the delete has gone out.
    std::vector<indigo_property*> untrack(const indigo_device* device, const indigo_property* deleted);
    // Takes off every record of the device, in the order they were defined.
    std::vector<indigo_property*> untrackAll(const indigo_device* device);

private:
    Bus() = default;
    std::mutex definedMutex_;
    std::unordered_map<const indigo_device*, std::vector<indigo_property*>> defined_;
};

// The number of the define, update, delete or message being handed to clients on this
// thread: the same for every client of one event, different for every other event (0
// outside any). Lets a wire layer that serves many clients prepare an event once.
std::uint64_t currentEventSerial();

} // namespace zeta::indigo
