#pragma once
// DNS-SD (Bonjour) on the avahi daemon: browsing for service types, resolving what was found,
// and publishing one service.
//
// Threads: avahi's own poll thread talks to the daemon; every report is handed to the
// listener as a task on the queue given at construction (the main queue), in the order the
// daemon sent them. The calls below may come from any thread.
//
// Without a running daemon (or its bus) the listener hears dnsSdUnavailable once, available()
// is false, and every call then does nothing and nothing else is reported.
//
// Lifetime: the destructor stops the poll thread; reports queued but not yet run are
// dropped, so the listener need only outlive this object.

#include "platform/dispatch.h"

#include <chrono>
#include <memory>
#include <string>

namespace zeta::platform {

// One service as a browser names it. A service seen on several interfaces or protocols is
// reported once, while any of them has it.
struct ServiceKey {
    std::string name;
    std::string type;
    std::string domain;
    bool operator==(const ServiceKey&) const = default;
};

struct ResolvedService {
    std::string hostName; // "machine.local"
    std::string address;  // the address text ("192.168.1.20"), connectable without mDNS lookups
    int port = 0;
};

class DnsSdListener {
public:
    virtual ~DnsSdListener() = default;
    virtual void serviceFound(const ServiceKey& service) = 0;
    virtual void serviceRemoved(const ServiceKey& service) = 0;
    virtual void serviceResolved(const ServiceKey& service, const ResolvedService& resolved) = 0;
    virtual void serviceNotResolved(const ServiceKey& service, const std::string& error) = 0;
    // The publication was handed to the daemon under this name.
    virtual void serviceWillPublish(const std::string& name) = 0;
    // The daemon registered it, under this name (renamed after a name conflict).
    virtual void servicePublished(const std::string& name) = 0;
    virtual void serviceNotPublished(const std::string& name, const std::string& error) = 0;
    // The daemon cannot be reached (at construction) or went away; told once.
    virtual void dnsSdUnavailable(const std::string& reason) = 0;
};

class DnsSd {
public:
    DnsSd(DnsSdListener& listener, dispatch::Queue& queue);
    ~DnsSd();
    DnsSd(const DnsSd&) = delete;
    DnsSd& operator=(const DnsSd&) = delete;

    bool available() const;

    // Reports serviceFound and serviceRemoved for services of the type ("_indigo._tcp") in the
    // domain ("local.").
    void browse(const std::string& type, const std::string& domain);
    // Reports serviceResolved or serviceNotResolved once; gives up after the timeout. A
    // resolve already running for the same service is replaced.
    void resolve(const ServiceKey& service, std::chrono::milliseconds timeout);
    // Publishes name/type on port in the default domain, replacing an earlier publication.
    void publish(const std::string& name, const std::string& type, int port);
    // Withdraws the publication, if any.
    void withdraw();

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace zeta::platform
