#include "support/ptpip_endpoint.h"

#include "platform/camera/ptp_usb_framing.h"
#include "platform/camera/simulated_camera.h"

#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace test_support {

using zeta::platform::PTPContainerHeaderSize;
using zeta::platform::PTPContainerReader;
using zeta::platform::PTPPort;
using zeta::platform::PTPPortStatus;
using zeta::platform::PTPReceivedContainer;
namespace packets = ptpip;

namespace {

using namespace std::chrono_literals;

// The largest data phase either side may send: far beyond any simulated object.
constexpr std::size_t kMaxData = 64u << 20;
// Data in goes out in pieces of this size.
constexpr std::size_t kDataPiece = 64u << 10;
constexpr std::chrono::milliseconds kCameraPatience = 10s;

// The most a payload of the type may hold.
std::size_t payloadLimit(uint32_t type) {
    switch (type) {
    case packets::Data:
    case packets::EndData:
        return 4 + kMaxData;
    case packets::OperationRequest:
        return 30;
    default:
        return 1024;
    }
}

bool sendAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

// Bytes read until `buffer` is full or the stream ends.
std::size_t receiveAll(int fd, std::span<uint8_t> buffer) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::recv(fd, buffer.data() + got, buffer.size() - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

enum class Read { ok, ended, bad };

Read readPacket(int fd, packets::Header& header, std::vector<uint8_t>& payload, std::string& why) {
    uint8_t head[packets::HeaderSize];
    const std::size_t got = receiveAll(fd, head);
    if (got == 0) return Read::ended;
    if (got < sizeof head) {
        why = "truncated header";
        return Read::bad;
    }
    header = *packets::parseHeader(head);
    if (header.length < packets::HeaderSize) {
        why = "length " + std::to_string(header.length) + " below the header";
        return Read::bad;
    }
    const std::size_t size = header.length - packets::HeaderSize;
    if (size > payloadLimit(header.type)) {
        why = "length " + std::to_string(header.length) + " too long for packet type " + std::to_string(header.type);
        return Read::bad;
    }
    payload.resize(size);
    if (receiveAll(fd, payload) < size) {
        why = "truncated packet of type " + std::to_string(header.type);
        return Read::bad;
    }
    return Read::ok;
}

std::vector<uint32_t> containerParameters(const std::vector<uint8_t>& payload) {
    std::vector<uint32_t> values;
    for (std::size_t at = 0; at + 4 <= payload.size() && values.size() < 5; at += 4)
        values.push_back(payload[at] | (payload[at + 1] << 8) | (payload[at + 2] << 16) |
                         (static_cast<uint32_t>(payload[at + 3]) << 24));
    return values;
}

std::vector<uint8_t> parameterBytes(const std::vector<uint32_t>& values) {
    std::vector<uint8_t> bytes;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return bytes;
}

} // namespace

struct PTPIPEndpoint::Session {
    uint32_t connection = 0;
    std::shared_ptr<PTPPort> port;
    int eventFd = -1;
};

PTPIPEndpoint::PTPIPEndpoint(std::shared_ptr<zeta::platform::SimulatedCamera> camera) : camera_(std::move(camera)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("PTP/IP endpoint: no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0; // the system picks a free port
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        ::close(wake_[0]);
        ::close(wake_[1]);
        throw std::runtime_error("PTP/IP endpoint: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

PTPIPEndpoint::~PTPIPEndpoint() {
    std::shared_ptr<PTPPort> port;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int fd : open_)
            ::shutdown(fd, SHUT_RDWR);
        if (session_) port = session_->port;
    }
    if (port) port->close(); // wakes a thread waiting for the camera
    const char byte = 0;
    [[maybe_unused]] const ssize_t woken = ::write(wake_[1], &byte, 1);
    acceptor_.join();
    for (auto& thread : threads_) // no new ones once the acceptor has ended
        thread.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string PTPIPEndpoint::portArgument() const {
    // The event connection goes to the same port; without the second number gphoto2 takes 15740.
    return "ptpip:127.0.0.1:" + std::to_string(port_) + ":" + std::to_string(port_);
}

std::vector<std::string> PTPIPEndpoint::rejections() const {
    std::lock_guard lock(mutex_);
    return rejections_;
}

int PTPIPEndpoint::sessions() const {
    std::lock_guard lock(mutex_);
    return sessions_;
}

bool PTPIPEndpoint::waitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, timeout, [this] { return open_.empty(); });
}

void PTPIPEndpoint::acceptLoop() {
    while (true) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        open_.push_back(fd);
        threads_.emplace_back([this, fd] { serve(fd); });
    }
}

void PTPIPEndpoint::reject(int fd, std::string why) {
    std::lock_guard lock(mutex_);
    rejections_.push_back(std::move(why));
    ::shutdown(fd, SHUT_RDWR);
}

void PTPIPEndpoint::closed(int fd) {
    std::lock_guard lock(mutex_);
    open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
    ::close(fd);
    idle_.notify_all();
}

// The first packet says which connection this is.
void PTPIPEndpoint::serve(int fd) {
    packets::Header header;
    std::vector<uint8_t> payload;
    std::string why;
    const Read read = readPacket(fd, header, payload, why);
    if (read == Read::bad) {
        reject(fd, why);
    } else if (read == Read::ok && header.type == packets::InitCommandRequest) {
        if (packets::parseInitCommandRequest(payload))
            serveCommands(fd);
        else
            reject(fd, "malformed Init Command Request");
    } else if (read == Read::ok && header.type == packets::InitEventRequest) {
        if (const auto connection = packets::parseInitEventRequest(payload))
            serveEvents(fd, *connection);
        else
            reject(fd, "malformed Init Event Request");
    } else if (read == Read::ok) {
        sendAll(fd, packets::initFail(packets::FailRejected));
        reject(fd, "packet type " + std::to_string(header.type) + " before the init request");
    }
    closed(fd);
}

namespace {

// One operation: its data phase out gathered from the initiator, the exchange with the
// camera, the camera's data phase in and response passed back. False closes the connection
// (`why` set when the initiator is at fault).
bool runOperation(int fd, PTPPort& port, PTPContainerReader& reader, const packets::Operation& request,
                  std::string& why) {
    std::optional<std::vector<uint8_t>> dataOut;
    if (request.dataPhase == packets::DataPhaseOut) {
        packets::Header header;
        std::vector<uint8_t> payload;
        if (readPacket(fd, header, payload, why) != Read::ok) return false;
        const auto start = header.type == packets::StartData ? packets::parseStartData(payload) : std::nullopt;
        if (!start || start->transactionID != request.transactionID) {
            why = "expected Start Data for transaction " + std::to_string(request.transactionID);
            return false;
        }
        if (start->totalLength > kMaxData) {
            why = "data phase of " + std::to_string(start->totalLength) + " bytes";
            return false;
        }
        dataOut.emplace();
        while (true) {
            if (readPacket(fd, header, payload, why) != Read::ok) return false;
            const auto piece = header.type == packets::Data || header.type == packets::EndData
                                   ? packets::parseDataPiece(payload)
                                   : std::nullopt;
            if (!piece || piece->transactionID != request.transactionID) {
                why = "expected Data or End Data for transaction " + std::to_string(request.transactionID);
                return false;
            }
            if (dataOut->size() + piece->bytes.size() > start->totalLength) {
                why = "more data than the announced " + std::to_string(start->totalLength) + " bytes";
                return false;
            }
            dataOut->insert(dataOut->end(), piece->bytes.begin(), piece->bytes.end());
            if (header.type == packets::EndData) break;
        }
        if (dataOut->size() != start->totalLength) {
            why = "data phase ended short of the announced " + std::to_string(start->totalLength) + " bytes";
            return false;
        }
    }

    const auto parameters = parameterBytes(request.parameters);
    if (zeta::platform::sendContainer(port,
                                      zeta::platform::makeContainer(1, request.code, request.transactionID, parameters),
                                      kCameraPatience) != PTPPortStatus::ok)
        return false;
    if (dataOut && zeta::platform::sendContainer(
                       port, zeta::platform::makeContainer(2, request.code, request.transactionID, *dataOut),
                       kCameraPatience) != PTPPortStatus::ok)
        return false;

    PTPReceivedContainer container;
    if (reader.read(container, kCameraPatience, kCameraPatience) != PTPPortStatus::ok) return false;
    if (container.header.type == 2) {
        const std::vector<uint8_t>& bytes = container.payload;
        if (!sendAll(fd, packets::startData(request.transactionID, bytes.size()))) return false;
        std::size_t at = 0;
        for (; bytes.size() - at > kDataPiece; at += kDataPiece) {
            if (!sendAll(fd, packets::dataPiece(packets::Data, request.transactionID,
                                                std::span(bytes).subspan(at, kDataPiece))))
                return false;
        }
        if (!sendAll(fd, packets::dataPiece(packets::EndData, request.transactionID, std::span(bytes).subspan(at))))
            return false;
        if (reader.read(container, kCameraPatience, kCameraPatience) != PTPPortStatus::ok) return false;
    }
    if (container.header.type != 3) return false;
    const auto values = containerParameters(container.payload);
    return sendAll(fd, packets::operationResponse(container.header.code, request.transactionID, values));
}

} // namespace

void PTPIPEndpoint::serveCommands(int fd) {
    auto session = std::make_shared<Session>();
    {
        std::lock_guard lock(mutex_);
        if (session_) {
            sendAll(fd, packets::initFail(packets::FailBusy));
            return;
        }
        session->connection = nextConnection_++;
        session->port = camera_->open();
        session_ = session;
        ++sessions_;
    }
    PTPPort& port = *session->port;
    const packets::GUID guid{0x5a, 0x65, 0x74, 0x61, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (sendAll(fd, packets::initCommandAck(session->connection, guid, u"Zeta PTP/IP"))) {
        PTPContainerReader reader(port);
        packets::Header header;
        std::vector<uint8_t> payload;
        std::string why;
        while (true) {
            const Read read = readPacket(fd, header, payload, why);
            if (read != Read::ok) break;
            if (header.type == packets::OperationRequest) {
                const auto request = packets::parseOperationRequest(payload);
                if (!request) {
                    why = "malformed Operation Request";
                    break;
                }
                if (!runOperation(fd, port, reader, *request, why)) break;
            } else if (header.type == packets::ProbeRequest) {
                if (!sendAll(fd, packets::packet(packets::ProbeResponse))) break;
            } else if (header.type != packets::ProbeResponse) {
                why = "packet type " + std::to_string(header.type) + " on the command connection";
                break;
            }
        }
        if (!why.empty()) reject(fd, why);
    }
    port.close();
    std::lock_guard lock(mutex_);
    if (session->eventFd >= 0) ::shutdown(session->eventFd, SHUT_RDWR);
    session_.reset();
}

void PTPIPEndpoint::serveEvents(int fd, uint32_t connectionNumber) {
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        if (session_ && session_->connection == connectionNumber && session_->eventFd < 0) {
            session = session_;
            session->eventFd = fd;
        }
    }
    if (!session) {
        sendAll(fd, packets::initFail(packets::FailRejected));
        reject(fd, "Init Event Request for connection " + std::to_string(connectionNumber));
        return;
    }
    if (sendAll(fd, packets::initEventAck())) forwardEvents(fd, *session->port);
    std::lock_guard lock(mutex_);
    session->eventFd = -1; // the socket is closed next; the command side must not touch it
}

void PTPIPEndpoint::forwardEvents(int fd, PTPPort& port) {
    std::vector<uint8_t> buffer(64);
    while (true) {
        // The initiator may probe whether the responder is still there.
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 0) > 0) {
            packets::Header header;
            std::vector<uint8_t> payload;
            std::string why;
            const Read read = readPacket(fd, header, payload, why);
            if (read == Read::ended) return;
            if (read == Read::bad) return reject(fd, why);
            if (header.type == packets::ProbeRequest) {
                if (!sendAll(fd, packets::packet(packets::ProbeResponse))) return;
            } else if (header.type != packets::ProbeResponse) {
                return reject(fd, "packet type " + std::to_string(header.type) + " on the event connection");
            }
        }
        std::size_t received = 0;
        const PTPPortStatus status = port.interruptIn(buffer, received, 50ms);
        if (status == PTPPortStatus::removed || status == PTPPortStatus::error) return;
        if (status != PTPPortStatus::ok) continue;
        const auto header = zeta::platform::parseContainerHeader(std::span(buffer.data(), received));
        if (!header || header->type != 4) continue;
        std::vector<uint8_t> rest(buffer.begin() + PTPContainerHeaderSize, buffer.begin() + received);
        if (!sendAll(fd, packets::event(header->code, header->transactionID, containerParameters(rest)))) return;
    }
}

} // namespace test_support
