// DNS-SD on avahi-client with a threaded poll. Avahi objects are touched only with the poll's
// lock held (its callbacks run with it held); reports leave for the listener's queue at once.

#include "platform/net/net_service.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace zeta::platform {

namespace {

std::string keyText(const ServiceKey& key) {
    std::string text = key.name;
    text += '\0';
    text += key.type;
    text += '\0';
    text += key.domain;
    return text;
}

// Hands reports to the listener on its queue, until the owner goes.
struct Delivery {
    std::recursive_mutex mutex;
    DnsSdListener* listener = nullptr;
};

constexpr int kMaxRenames = 100;

} // namespace

struct DnsSd::State : std::enable_shared_from_this<DnsSd::State> {
    dispatch::Queue* queue = nullptr;
    std::shared_ptr<Delivery> delivery = std::make_shared<Delivery>();

    // Guards the object's life: calls from outside hold it, the destructor takes it to stop.
    std::mutex lifeMutex;
    bool running = false;
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;

    // Below: only with the poll's lock held.
    bool failed = false;
    std::vector<AvahiServiceBrowser*> browsers;
    // Each found service with the (interface, protocol) pairs that report it.
    std::map<std::string, std::set<std::pair<AvahiIfIndex, AvahiProtocol>>> instances;
    struct Pending {
        AvahiServiceResolver* resolver = nullptr;
        std::uint64_t id = 0;
    };
    std::map<std::string, Pending> resolving;
    std::uint64_t nextResolveId = 1;
    AvahiEntryGroup* group = nullptr;
    std::string publishName;
    std::string publishType;
    int publishPort = 0;

    void post(std::function<void(DnsSdListener&)> report) {
        queue->async([delivery = delivery, report = std::move(report)] {
            std::lock_guard lock(delivery->mutex);
            if (delivery->listener != nullptr) report(*delivery->listener);
        });
    }

    void reportUnavailable(const std::string& reason) {
        if (failed) return;
        failed = true;
        post([reason](DnsSdListener& listener) { listener.dnsSdUnavailable(reason); });
    }

    std::string lastError() const { return avahi_strerror(avahi_client_errno(client)); }

    // --- publishing ---

    void addPublication(AvahiEntryGroup* g) {
        for (int attempt = 0; attempt < kMaxRenames; ++attempt) {
            const int added = avahi_entry_group_add_service(
                g, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), publishName.c_str(), publishType.c_str(),
                nullptr, nullptr, static_cast<std::uint16_t>(publishPort), nullptr);
            if (added == AVAHI_ERR_COLLISION) {
                rename();
                continue;
            }
            if (added < 0) {
                reportNotPublished(avahi_strerror(added));
                return;
            }
            const int committed = avahi_entry_group_commit(g);
            if (committed < 0) {
                reportNotPublished(avahi_strerror(committed));
                return;
            }
            post([name = publishName](DnsSdListener& listener) { listener.serviceWillPublish(name); });
            return;
        }
        reportNotPublished("no free name");
    }

    void rename() {
        char* other = avahi_alternative_service_name(publishName.c_str());
        if (other != nullptr) publishName = other;
        avahi_free(other);
    }

    void reportNotPublished(const std::string& error) {
        post([name = publishName, error](DnsSdListener& listener) { listener.serviceNotPublished(name, error); });
    }

    static void groupCallback(AvahiEntryGroup* g, AvahiEntryGroupState groupState, void* data) {
        auto* self = static_cast<State*>(data);
        switch (groupState) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            self->post([name = self->publishName](DnsSdListener& listener) { listener.servicePublished(name); });
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            // Someone else holds the name on the network: take the next one.
            self->rename();
            avahi_entry_group_reset(g);
            self->addPublication(g);
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            self->reportNotPublished(avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))));
            break;
        default:
            break;
        }
    }

    void dropGroup() {
        if (group == nullptr) return;
        avahi_entry_group_free(group); // withdraws what it published
        group = nullptr;
    }

    // --- browsing and resolving ---

    static void browseCallback(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                               AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                               AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<State*>(data);
        if (event == AVAHI_BROWSER_FAILURE) {
            self->reportUnavailable(self->lastError());
            return;
        }
        if ((event != AVAHI_BROWSER_NEW && event != AVAHI_BROWSER_REMOVE) || name == nullptr || type == nullptr ||
            domain == nullptr)
            return;
        ServiceKey key{name, type, domain};
        auto& seen = self->instances[keyText(key)];
        if (event == AVAHI_BROWSER_NEW) {
            const bool first = seen.empty();
            seen.insert({interface, protocol});
            if (first) self->post([key](DnsSdListener& listener) { listener.serviceFound(key); });
            return;
        }
        seen.erase({interface, protocol});
        if (!seen.empty()) return;
        self->instances.erase(keyText(key));
        self->cancelResolve(keyText(key));
        self->post([key](DnsSdListener& listener) { listener.serviceRemoved(key); });
    }

    void cancelResolve(const std::string& key) {
        const auto pending = resolving.find(key);
        if (pending == resolving.end()) return;
        avahi_service_resolver_free(pending->second.resolver);
        resolving.erase(pending);
    }

    static void resolveCallback(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                                const char* name, const char* type, const char* domain, const char* hostName,
                                const AvahiAddress* address, std::uint16_t port, AvahiStringList*,
                                AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<State*>(data);
        ServiceKey key{name != nullptr ? name : "", type != nullptr ? type : "", domain != nullptr ? domain : ""};
        const auto pending = self->resolving.find(keyText(key));
        if (pending == self->resolving.end() || pending->second.resolver != resolver) return;
        self->resolving.erase(pending);
        if (event == AVAHI_RESOLVER_FOUND && address != nullptr) {
            char text[AVAHI_ADDRESS_STR_MAX] = {};
            avahi_address_snprint(text, sizeof text, address);
            ResolvedService resolved{hostName != nullptr ? hostName : "", text, port};
            self->post([key, resolved](DnsSdListener& listener) { listener.serviceResolved(key, resolved); });
        } else {
            const std::string error = avahi_strerror(avahi_client_errno(avahi_service_resolver_get_client(resolver)));
            self->post([key, error](DnsSdListener& listener) { listener.serviceNotResolved(key, error); });
        }
        avahi_service_resolver_free(resolver);
    }

    static void clientCallback(AvahiClient* c, AvahiClientState clientState, void* data) {
        auto* self = static_cast<State*>(data);
        if (clientState == AVAHI_CLIENT_FAILURE) self->reportUnavailable(avahi_strerror(avahi_client_errno(c)));
    }

    // Runs the step with the poll locked, when the daemon is there.
    template <class Step>
    void withPoll(Step&& step) {
        std::lock_guard life(lifeMutex);
        if (!running) return;
        avahi_threaded_poll_lock(poll);
        if (!failed) step();
        avahi_threaded_poll_unlock(poll);
    }
};

DnsSd::DnsSd(DnsSdListener& listener, dispatch::Queue& queue) : state_(std::make_shared<State>()) {
    state_->queue = &queue;
    state_->delivery->listener = &listener;
    state_->poll = avahi_threaded_poll_new();
    if (state_->poll == nullptr) {
        state_->reportUnavailable("no event loop");
        return;
    }
    int error = 0;
    state_->client = avahi_client_new(avahi_threaded_poll_get(state_->poll), AvahiClientFlags(0),
                                      &State::clientCallback, state_.get(), &error);
    if (state_->client == nullptr) {
        avahi_threaded_poll_free(state_->poll);
        state_->poll = nullptr;
        state_->reportUnavailable(avahi_strerror(error));
        return;
    }
    if (avahi_threaded_poll_start(state_->poll) < 0) {
        avahi_client_free(state_->client);
        avahi_threaded_poll_free(state_->poll);
        state_->client = nullptr;
        state_->poll = nullptr;
        state_->reportUnavailable("no event thread");
        return;
    }
    state_->running = true;
}

DnsSd::~DnsSd() {
    {
        std::lock_guard lock(state_->delivery->mutex);
        state_->delivery->listener = nullptr;
    }
    std::lock_guard life(state_->lifeMutex);
    if (!state_->running) return;
    state_->running = false;
    avahi_threaded_poll_stop(state_->poll);
    // The poll thread has ended: no callback runs any more.
    for (auto& [key, pending] : state_->resolving)
        avahi_service_resolver_free(pending.resolver);
    state_->resolving.clear();
    for (AvahiServiceBrowser* browser : state_->browsers)
        avahi_service_browser_free(browser);
    state_->browsers.clear();
    state_->dropGroup();
    avahi_client_free(state_->client);
    avahi_threaded_poll_free(state_->poll);
    state_->client = nullptr;
    state_->poll = nullptr;
}

bool DnsSd::available() const {
    std::lock_guard life(state_->lifeMutex);
    if (!state_->running) return false;
    avahi_threaded_poll_lock(state_->poll);
    const bool ok = !state_->failed;
    avahi_threaded_poll_unlock(state_->poll);
    return ok;
}

void DnsSd::browse(const std::string& type, const std::string& domain) {
    State* state = state_.get();
    state->withPoll([&] {
        AvahiServiceBrowser* browser = avahi_service_browser_new(
            state->client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type.c_str(), domain.empty() ? nullptr : domain.c_str(),
            AvahiLookupFlags(0), &State::browseCallback, state);
        if (browser == nullptr)
            state->reportUnavailable(state->lastError());
        else
            state->browsers.push_back(browser);
    });
}

void DnsSd::resolve(const ServiceKey& service, std::chrono::milliseconds timeout) {
    State* state = state_.get();
    std::uint64_t id = 0;
    state->withPoll([&] {
        const std::string key = keyText(service);
        state->cancelResolve(key);
        AvahiIfIndex interface = AVAHI_IF_UNSPEC;
        AvahiProtocol protocol = AVAHI_PROTO_UNSPEC;
        const auto seen = state->instances.find(key);
        if (seen != state->instances.end() && !seen->second.empty()) {
            interface = seen->second.begin()->first;
            protocol = seen->second.begin()->second;
        }
        // IPv4 addresses: a link-local IPv6 address is of no use without its interface.
        AvahiServiceResolver* resolver = avahi_service_resolver_new(
            state->client, interface, protocol, service.name.c_str(), service.type.c_str(), service.domain.c_str(),
            AVAHI_PROTO_INET, AvahiLookupFlags(0), &State::resolveCallback, state);
        if (resolver == nullptr) {
            const std::string error = state->lastError();
            state->post([service, error](DnsSdListener& listener) { listener.serviceNotResolved(service, error); });
            return;
        }
        id = state->nextResolveId++;
        state->resolving[key] = State::Pending{resolver, id};
    });
    if (id == 0) return;
    // Avahi's own resolver may wait longer; give up on our clock.
    dispatch::after(timeout, dispatch::globalQueue(), [weak = std::weak_ptr<State>(state_), service, id] {
        const auto state = weak.lock();
        if (!state) return;
        state->withPoll([&] {
            const auto pending = state->resolving.find(keyText(service));
            if (pending == state->resolving.end() || pending->second.id != id) return;
            avahi_service_resolver_free(pending->second.resolver);
            state->resolving.erase(pending);
            state->post([service](DnsSdListener& listener) { listener.serviceNotResolved(service, "Timed out"); });
        });
    });
}

void DnsSd::publish(const std::string& name, const std::string& type, int port) {
    State* state = state_.get();
    state->withPoll([&] {
        state->dropGroup();
        state->publishName = name;
        state->publishType = type;
        state->publishPort = port;
        state->group = avahi_entry_group_new(state->client, &State::groupCallback, state);
        if (state->group == nullptr) {
            state->reportNotPublished(state->lastError());
            return;
        }
        state->addPublication(state->group);
    });
}

void DnsSd::withdraw() {
    State* state = state_.get();
    state->withPoll([&] { state->dropGroup(); });
}

} // namespace zeta::platform
