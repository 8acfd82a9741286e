#pragma once
// The callback wiring the recording bus clients of the tests share: an indigo_client whose
// define, update and delete callbacks all reach one member function. What is kept of an event,
// and how a test waits for it, is each client's own.

#include "indigo/indigo_bus.h"

namespace test_support {

class PropertyListener {
public:
    // Names the client; attaching it is left to the owner.
    explicit PropertyListener(const char* name);
    virtual ~PropertyListener() = default;
    PropertyListener(const PropertyListener&) = delete;
    PropertyListener& operator=(const PropertyListener&) = delete;

    indigo_client client{};

protected:
    // kind is "define", "update" or "delete"; runs on whichever thread the bus calls from.
    virtual indigo_result record(const char* kind, indigo_property* property, const char* message) = 0;

    // The listener of type Owner behind a client, for the owner's other callbacks.
    template <class Owner>
    static Owner* owner(indigo_client* c) {
        return static_cast<Owner*>(static_cast<PropertyListener*>(c->client_context));
    }
};

} // namespace test_support
