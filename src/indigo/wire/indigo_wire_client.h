#pragma once
// A peer that reads the bus: a client of the server, or a driver subprocess that watches
// other devices ("snooping"). It is a client of the bus like any other (is_remote set): the
// events it is shown are copied on the posting thread and queued on its link, so a slow
// peer never holds up a device.
//
// What reaches the peer:
// - A server client hears nothing until its first getProperties; from then on it hears
//   every device that request covered (every device, when it named none), and so does a
//   device it sends a change to. A snooping driver hears only the properties it named.
// - BLOBs per its enableBLOB: Never (the default, as the protocol has it), Also, Only
//   (BLOBs of that device and nothing else of it) or URL (the item's URL on the server in
//   place of the bytes). The bus is told the same, so that it does not copy what is not
//   wanted.
// - Names in the peer's dialect: a client whose getProperties says version 2.0 or later
//   gets the bus's names, others (and every driver) INDI's.

#include "indigo/indigo_bus.h"
#include "indigo/wire/indigo_http.h"
#include "indigo/wire/indigo_wire_codes.h"
#include "indigo/wire/indigo_wire_link.h"
#include "indigo/wire/indigo_xml_message.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zeta::indigo::wire {

class WireClient {
public:
    enum class Role { ServerClient, SnoopingDriver };

    // blobs and urlBase ("http://host:port") serve URL mode; both may be empty.
    WireClient(std::string name, Role role, Link& link, BlobStore* blobs = nullptr, std::string urlBase = {});
    ~WireClient();
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    bool attach();
    // Waits until no event is being handed to it; after this nothing is queued.
    void detach();

    // Devices the peer must not be shown (a driver's own).
    void setExcluded(std::function<bool(const indigo_device*)> excluded) { excluded_ = std::move(excluded); }

    // A message from the peer: getProperties, enableBLOB or a change request; the rest is
    // not a client's to send and is dropped. False when the peer is this very process,
    // connected to its own server: the connection is to be closed.
    bool handle(WireMessage& message);

    indigo_client* record() { return &client_; }

private:
    enum class BlobMode { Never, Also, Only, Url };
    struct Rule {
        std::string device; // empty: every device
        std::string name;   // empty: every property
    };
    struct BlobRule {
        std::string device;
        std::string name;
        BlobMode mode;
    };

    static WireClient* self(indigo_client* client) { return static_cast<WireClient*>(client->client_context); }

    void onEvent(int kind, indigo_device* device, indigo_property* property, const char* message);
    bool hears(const std::string& device, const std::string& name) const;
    BlobMode blobMode(const std::string& device, const std::string& name) const;
    std::string busName(const std::string& wireProperty) const;

    void getProperties(const WireMessage& message);
    void enableBlob(const WireMessage& message);
    void change(const WireMessage& message);

    const std::string name_;
    const Role role_;
    Link& link_;
    BlobStore* const blobs_;
    const std::string urlBase_;
    std::function<bool(const indigo_device*)> excluded_;

    indigo_client client_{};
    bool attached_ = false;

    mutable std::mutex mutex_;
    Dialect dialect_ = Dialect::Indi;
    std::vector<Rule> heard_;
    std::vector<BlobRule> blobRules_;
};

} // namespace zeta::indigo::wire
