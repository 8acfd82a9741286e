// The server: a listening socket on the thread that runs indigo_server_start, and per
// connection a link (reader and writer threads) with a bus client behind it.

#include "indigo/indigo_server.h"

#include "indigo/indigo_log.h"
#include "indigo/wire/indigo_http.h"
#include "indigo/wire/indigo_wire_client.h"
#include "indigo/wire/indigo_wire_link.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

int indigo_server_tcp_port = 0;
char indigo_server_bind_address[INDIGO_NAME_SIZE] = "";

namespace zeta::indigo::wire {

namespace {

constexpr std::size_t kMaxHttpHead = std::size_t{16} << 10;
constexpr auto kDrainGrace = std::chrono::seconds(2);

std::string addressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

class Server;

class ServerConnection {
public:
    ServerConnection(Server& server, int fd, std::string peer, std::string urlBase);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    void start();
    void close() { link_.close(); }
    bool ended() const { return ended_.load(); }

private:
    bool prelude(Link& link, std::string& initial);
    void closed(const std::string& reason);

    Server& server_;
    const int fd_;
    Link link_;
    WireClient client_;
    bool counted_ = false;
    bool refused_ = false; // the reader thread's own
    std::atomic<bool> ended_{false};
};

class Server {
public:
    static Server& instance() {
        static Server* server = new Server();
        return *server;
    }

    indigo_result run(indigo_server_tcp_callback callback);
    void shutdown();

    BlobStore& blobs() { return blobs_; }
    void clientCountChanged(int delta);
    void connectionEnded() { signal(); }

private:
    Server() = default;
    int listen();
    void accept(int listener);
    void reap(bool all);
    void signal() {
        std::lock_guard lock(mutex_);
        if (wakeFd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        }
    }

    std::mutex mutex_;
    bool running_ = false;
    bool stopRequested_ = false;
    int wakeFd_ = -1;

    std::mutex countMutex_;
    int clients_ = 0;
    indigo_server_tcp_callback callback_ = nullptr;

    std::list<std::unique_ptr<ServerConnection>> connections_; // the server thread's own
    BlobStore blobs_;
};

ServerConnection::ServerConnection(Server& server, int fd, std::string peer, std::string urlBase)
    : server_(server), fd_(fd), link_(peer, fd, fd),
      client_("client " + peer, WireClient::Role::ServerClient, link_, &server.blobs(), std::move(urlBase)) {}

ServerConnection::~ServerConnection() {
    link_.close();
    link_.join();
    client_.detach();
    ::close(fd_);
}

void ServerConnection::start() {
    link_.start(
        [this](WireMessage& message) {
            if (!refused_ && !client_.handle(message)) {
                refused_ = true;
                link_.close();
            }
        },
        [this](const std::string& reason) { closed(reason); },
        [this](Link& link, std::string& initial) { return prelude(link, initial); },
        [this] {
            ended_.store(true);
            server_.connectionEnded();
        });
}

// Tells HTTP from the protocol by the first bytes: the protocol starts with "<".
bool ServerConnection::prelude(Link& link, std::string& initial) {
    std::string head;
    char buffer[4096];
    for (;;) {
        const long n = link.readSome(buffer, sizeof buffer);
        if (n <= 0) return false;
        head.append(buffer, static_cast<std::size_t>(n));
        const std::size_t first = head.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) {
            if (head.size() > kMaxHttpHead) return false;
            continue;
        }
        if (head[first] == '<') {
            if (!client_.attach()) return false;
            counted_ = true;
            server_.clientCountChanged(+1);
            initial = std::move(head);
            return true;
        }
        if (httpHeadComplete(head) || head.size() > kMaxHttpHead) {
            const std::string answer = head.size() > kMaxHttpHead && !httpHeadComplete(head)
                                           ? std::string("HTTP/1.1 431 Request Header Fields Too "
                                                         "Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                                           : httpAnswer(std::string_view(head).substr(first), &server_.blobs());
            link.writeAll(answer);
            return false;
        }
    }
}

void ServerConnection::closed(const std::string& reason) {
    if (reason.empty() || reason == Link::kClosedHere || reason == Link::kPeerGone)
        indigo_debug("indigo: server: connection from %s ended%s%s", link_.peer().c_str(), reason.empty() ? "" : ": ",
                     reason.c_str());
    else
        indigo_error("indigo: server: connection from %s closed: %s", link_.peer().c_str(), reason.c_str());
    if (counted_) {
        client_.detach();
        server_.clientCountChanged(-1);
    }
    // A peer that only closed its sending side still gets what was queued for it.
    if (reason.empty())
        link_.finishSending(kDrainGrace);
    else
        link_.close();
}

void Server::clientCountChanged(int delta) {
    std::lock_guard lock(countMutex_);
    clients_ += delta;
    if (callback_ != nullptr) callback_(clients_);
}

int Server::listen() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        indigo_error("indigo: server: no socket: %s", std::strerror(errno));
        return -1;
    }
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(indigo_server_tcp_port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    char bindAddress[INDIGO_NAME_SIZE];
    std::memcpy(bindAddress, indigo_server_bind_address, sizeof bindAddress);
    bindAddress[sizeof bindAddress - 1] = '\0';
    if (bindAddress[0] != '\0' && inet_pton(AF_INET, bindAddress, &address.sin_addr) != 1) {
        indigo_error("indigo: server: '%s' is not an IPv4 address to listen on", bindAddress);
        ::close(fd);
        return -1;
    }
    if (indigo_server_tcp_port < 0 || indigo_server_tcp_port > 65535) {
        indigo_error("indigo: server: %d is not a TCP port", indigo_server_tcp_port);
        ::close(fd);
        return -1;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 128) != 0) {
        indigo_error("indigo: server: cannot listen on port %d: %s", indigo_server_tcp_port, std::strerror(errno));
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    indigo_server_tcp_port = ntohs(address.sin_port);
    return fd;
}

void Server::accept(int listener) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error != EAGAIN && error != EINTR && error != ECONNABORTED)
            indigo_error("indigo: server: accept failed: %s", std::strerror(error));
        // Out of descriptors, the connection stays pending: give closing ones time to go
        // rather than spin on it.
        if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return;
    }
    const int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    sockaddr_in local{};
    length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    const std::string name = addressText(peer) + ":" + std::to_string(ntohs(peer.sin_port));
    const std::string urlBase = "http://" + addressText(local) + ":" + std::to_string(ntohs(local.sin_port));
    indigo_debug("indigo: server: connection from %s", name.c_str());
    auto connection = std::make_unique<ServerConnection>(*this, fd, name, urlBase);
    ServerConnection* started = connection.get();
    connections_.push_back(std::move(connection));
    started->start();
}

void Server::reap(bool all) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (all || (*it)->ended())
            it = connections_.erase(it); // the destructor joins
        else
            ++it;
    }
}

indigo_result Server::run(indigo_server_tcp_callback callback) {
    {
        std::lock_guard lock(mutex_);
        if (running_) {
            indigo_error("indigo: server: already running");
            return INDIGO_FAILED;
        }
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd_ < 0) {
            indigo_error("indigo: server: no event descriptor: %s", std::strerror(errno));
            return INDIGO_FAILED;
        }
        running_ = true;
        stopRequested_ = false;
    }
    const int listener = listen();
    if (listener < 0) {
        std::lock_guard lock(mutex_);
        ::close(wakeFd_);
        wakeFd_ = -1;
        running_ = false;
        return INDIGO_FAILED;
    }
    {
        std::lock_guard lock(countMutex_);
        callback_ = callback;
        clients_ = 0;
    }
    indigo_log("indigo: server: listening on port %d", indigo_server_tcp_port);
    clientCountChanged(0);

    for (;;) {
        int wake;
        {
            std::lock_guard lock(mutex_);
            wake = wakeFd_;
        }
        pollfd fds[2] = {{listener, POLLIN, 0}, {wake, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            indigo_error("indigo: server: poll failed: %s", std::strerror(errno));
            break;
        }
        if (fds[1].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(wake, &count, sizeof count);
            bool stop;
            {
                std::lock_guard lock(mutex_);
                stop = stopRequested_;
            }
            if (stop) break;
            reap(false);
        }
        if ((fds[0].revents & POLLIN) != 0) accept(listener);
    }

    ::close(listener);
    for (const auto& connection : connections_)
        connection->close();
    reap(true);
    {
        std::lock_guard lock(countMutex_);
        callback_ = nullptr;
    }
    {
        std::lock_guard lock(mutex_);
        ::close(wakeFd_);
        wakeFd_ = -1;
        running_ = false;
    }
    indigo_log("indigo: server: stopped");
    return INDIGO_OK;
}

void Server::shutdown() {
    std::lock_guard lock(mutex_);
    if (!running_ || wakeFd_ < 0) return;
    stopRequested_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

} // namespace

} // namespace zeta::indigo::wire

extern "C" {

indigo_result indigo_server_start(indigo_server_tcp_callback callback) {
    return zeta::indigo::wire::Server::instance().run(callback);
}

void indigo_server_shutdown(void) {
    zeta::indigo::wire::Server::instance().shutdown();
}

void indigo_server_add_resource(const char* path, unsigned char* data, unsigned length, const char* content_type) {
    if (path == nullptr || path[0] == '\0' || (data == nullptr && length > 0)) return;
    std::vector<std::uint8_t> bytes(data, data + length);
    zeta::indigo::wire::ResourceRegistry::instance().add(path, std::move(bytes),
                                                         content_type != nullptr ? content_type : "");
}

} // extern "C"
