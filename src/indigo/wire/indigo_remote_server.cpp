// Connections to remote servers: one link per entry of indigo_available_servers, its
// devices mirrored onto the bus.

#include "indigo/bus/text_field.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_remote.h"
#include "indigo/wire/indigo_wire_codes.h"
#include "indigo/wire/indigo_wire_link.h"
#include "indigo/wire/indigo_wire_mirror.h"
#include "indigo/wire/indigo_xml_writer.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace zeta::indigo::wire {

namespace {

constexpr int kConnectTimeoutMs = 5000;

class RemoteServer {
public:
    RemoteServer(std::string name, int fd)
        : name_(std::move(name)), fd_(fd), link_(name_, fd, fd),
          mirror_(
              "server " + name_, [this](std::string text) { link_.send(std::move(text)); }, true) {
        copyField(adapter_.name, name_.c_str());
        adapter_.is_remote = true;
        adapter_.version = INDIGO_VERSION_CURRENT;
    }
    ~RemoteServer() { stop(); }
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    void start() {
        link_.start(
            [this](WireMessage& message) {
                if (message.kind == MessageKind::PingRequest) {
                    std::string reply;
                    writePingReply(reply, message.uid);
                    link_.send(std::move(reply));
                } else {
                    mirror_.apply(message);
                }
            },
            [this](const std::string& reason) { closed(reason); });
        std::string hello;
        writeGetProperties(hello, kIndiProtocolVersion, {}, {}, processClientName());
        link_.send(std::move(hello));
    }

    void stop() {
        if (stopped_) return;
        stopped_ = true;
        link_.close();
        link_.join();
        mirror_.removeAll();
        ::close(fd_);
    }

    bool onReaderThread() const { return link_.onReaderThread(); }
    pthread_t thread() { return link_.readerHandle(); }
    indigo_device* adapter() { return &adapter_; }

private:
    void closed(const std::string& reason) {
        if (reason != Link::kClosedHere)
            indigo_error("indigo: server %s: connection closed%s%s", name_.c_str(), reason.empty() ? "" : ": ",
                         reason.c_str());
        link_.close();
        mirror_.removeAll();
    }

    const std::string name_;
    const int fd_;
    Link link_;
    MirrorDevices mirror_;
    indigo_device adapter_{};
    bool stopped_ = false;
};

std::mutex& tableMutex() {
    static std::mutex mutex;
    return mutex;
}

// The connection behind each slot of indigo_available_servers (null: the slot is free).
std::unique_ptr<RemoteServer>* connections() {
    static auto* table = new std::unique_ptr<RemoteServer>[INDIGO_MAX_SERVERS];
    return table;
}

int slotOf(const indigo_server_entry* entry) {
    for (int i = 0; i < INDIGO_MAX_SERVERS; ++i) {
        if (entry == &indigo_available_servers[i]) return i;
    }
    return -1;
}

// A connected socket, or -1 with the reason.
int connectTo(const char* host, int port, std::string& reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int status = getaddrinfo(host, service.c_str(), &hints, &found);
    if (status != 0) {
        reason = gai_strerror(status);
        return -1;
    }
    int fd = -1;
    for (addrinfo* address = found; address != nullptr && fd < 0; address = address->ai_next) {
        fd = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address->ai_protocol);
        if (fd < 0) {
            reason = std::strerror(errno);
            continue;
        }
        int error = 0;
        if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd wait{fd, POLLOUT, 0};
                const int ready = poll(&wait, 1, kConnectTimeoutMs);
                socklen_t length = sizeof error;
                if (ready == 1)
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                else
                    error = ready == 0 ? ETIMEDOUT : errno;
            }
        }
        if (error != 0) {
            reason = std::strerror(error);
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd >= 0) {
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    }
    return fd;
}

} // namespace

} // namespace zeta::indigo::wire

using zeta::indigo::wire::RemoteServer;

extern "C" {

indigo_result indigo_connect_server(const char* name, const char* host, int port, indigo_server_entry** server_entry) {
    if (host == nullptr || host[0] == '\0' || port <= 0 || port > 65535) {
        indigo_error("indigo: cannot connect to a server without a host and a port (%s:%d)",
                     host != nullptr ? host : "", port);
        return INDIGO_FAILED;
    }
    std::string reason;
    const int fd = zeta::indigo::wire::connectTo(host, port, reason);
    if (fd < 0) {
        indigo_error("indigo: cannot connect to %s:%d: %s", host, port, reason.c_str());
        return INDIGO_FAILED;
    }
    const std::string label =
        name != nullptr && name[0] != '\0' ? std::string(name) : std::string(host) + ":" + std::to_string(port);

    std::lock_guard lock(zeta::indigo::wire::tableMutex());
    auto* table = zeta::indigo::wire::connections();
    int slot = -1;
    for (int i = 0; i < INDIGO_MAX_SERVERS && slot < 0; ++i) {
        if (table[i] == nullptr) slot = i;
    }
    if (slot < 0) {
        ::close(fd);
        indigo_error("indigo: cannot connect to %s: already %d servers connected", label.c_str(), INDIGO_MAX_SERVERS);
        return INDIGO_FAILED;
    }
    table[slot] = std::make_unique<RemoteServer>(label, fd);
    indigo_server_entry& entry = indigo_available_servers[slot];
    entry = indigo_server_entry{};
    zeta::indigo::copyField(entry.name, label.c_str());
    zeta::indigo::copyField(entry.host, host);
    entry.port = port;
    entry.socket = fd;
    entry.protocol_adapter = table[slot]->adapter();
    table[slot]->start();
    entry.thread = table[slot]->thread();
    entry.thread_started = true;
    indigo_log("indigo: connected to server %s", label.c_str());
    if (server_entry != nullptr) *server_entry = &entry;
    return INDIGO_OK;
}

indigo_result indigo_disconnect_server(indigo_server_entry* server_entry) {
    const int slot = zeta::indigo::wire::slotOf(server_entry);
    if (slot < 0) return INDIGO_FAILED;
    std::unique_ptr<RemoteServer> connection;
    {
        std::lock_guard lock(zeta::indigo::wire::tableMutex());
        auto* table = zeta::indigo::wire::connections();
        if (table[slot] == nullptr) return INDIGO_FAILED;
        if (table[slot]->onReaderThread()) {
            indigo_error("indigo: a server cannot be disconnected from its own connection's callback");
            return INDIGO_FAILED;
        }
        connection = std::move(table[slot]);
        indigo_available_servers[slot] = indigo_server_entry{};
    }
    connection->stop();
    return INDIGO_OK;
}

} // extern "C"
