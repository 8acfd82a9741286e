// The PTP/IP endpoint of the simulated cameras, fed raw bytes from the initiator's side: what
// can't be right closes that connection, says why, and leaves the camera and the endpoint
// serving the next initiator.
#include "support/ptpip_endpoint.h"

#include "platform/camera/simulated_camera.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

namespace ptpip = test_support::ptpip;
using Bytes = std::vector<uint8_t>;

const ptpip::GUID kGUID{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

struct Packet {
    uint32_t type = 0;
    Bytes payload;
};

// One TCP connection of a hand-made initiator.
class Connection {
public:
    explicit Connection(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval patience{30, 0}; // a hang fails the test instead of stopping it
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Connection() { ::close(fd_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return connected_; }
    void send(const Bytes& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    void finish() { ::shutdown(fd_, SHUT_WR); }

    std::optional<Packet> receive() {
        Bytes head(ptpip::HeaderSize);
        if (!read(head)) return std::nullopt;
        const auto header = ptpip::parseHeader(head);
        if (header->length < ptpip::HeaderSize || header->length > (1u << 20)) return std::nullopt;
        Packet packet{header->type, Bytes(header->length - ptpip::HeaderSize)};
        if (!read(packet.payload)) return std::nullopt;
        return packet;
    }
    // True when the endpoint has closed the connection (after any packets it sent first).
    bool closedByEndpoint() {
        uint8_t byte;
        while (true) {
            const ssize_t n = ::recv(fd_, &byte, 1, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
            if (n < 0) return false; // timed out
        }
    }

    // The command connection's handshake; the connection number.
    uint32_t initCommand() {
        send(ptpip::initCommandRequest(kGUID, u"raw test"));
        const auto ack = receive();
        if (!ack || ack->type != ptpip::InitCommandAck || ack->payload.size() < 4) return 0;
        return ack->payload[0] | (ack->payload[1] << 8) | (ack->payload[2] << 16) |
               (static_cast<uint32_t>(ack->payload[3]) << 24);
    }

private:
    bool read(Bytes& buffer) {
        std::size_t got = 0;
        while (got < buffer.size()) {
            const ssize_t n = ::recv(fd_, buffer.data() + got, buffer.size() - got, 0);
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// SetDevicePropValue of ISO, with a data phase out.
Bytes setISO(uint32_t transaction) {
    return ptpip::operationRequest({ptpip::DataPhaseOut, 0x1016, transaction, {0x500F}});
}

// GetDeviceInfo over a fresh session: the device information's bytes, none when anything fails.
std::optional<Bytes> deviceInfo(int port) {
    Connection command(port);
    const uint32_t number = command.initCommand();
    if (number == 0) return std::nullopt;
    Connection events(port);
    events.send(ptpip::initEventRequest(number));
    const auto ack = events.receive();
    if (!ack || ack->type != ptpip::InitEventAck) return std::nullopt;
    command.send(ptpip::operationRequest({1, 0x1001, 0, {}}));
    const auto start = command.receive();
    const auto startData =
        start && start->type == ptpip::StartData ? ptpip::parseStartData(start->payload) : std::nullopt;
    Bytes data;
    while (startData) {
        const auto piece = command.receive();
        if (!piece || (piece->type != ptpip::Data && piece->type != ptpip::EndData)) return std::nullopt;
        data.insert(data.end(), piece->payload.begin() + 4, piece->payload.end());
        if (piece->type == ptpip::EndData) break;
    }
    const auto response = command.receive();
    const auto answer = response && response->type == ptpip::OperationResponse
                            ? ptpip::parseCodeAndParameters(response->payload)
                            : std::nullopt;
    if (!startData || startData->totalLength != data.size() || !answer || answer->code != 0x2001) return std::nullopt;
    return data;
}

struct Malformed {
    const char* what;
    enum class After { nothing, commandInit, eventInit } after;
    Bytes bytes;
    bool finish;     // the initiator stops sending after the bytes
    const char* why; // the start of the reason the endpoint gives
};

void PrintTo(const Malformed& c, std::ostream* out) {
    *out << c.what;
}

class PTPIPEndpointMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(PTPIPEndpointMalformed, ClosesTheConnectionAndServesTheNextInitiator) {
    const Malformed& c = GetParam();
    auto camera = zeta::platform::SimulatedCamera::preset("generic");
    test_support::PTPIPEndpoint endpoint(camera);

    Connection command(endpoint.port());
    ASSERT_TRUE(command.connected());
    std::optional<Connection> events;
    if (c.after != Malformed::After::nothing) {
        const uint32_t number = command.initCommand();
        ASSERT_NE(number, 0u);
        events.emplace(endpoint.port());
        events->send(ptpip::initEventRequest(number));
        ASSERT_EQ(events->receive()->type, ptpip::InitEventAck);
    }
    Connection& target = c.after == Malformed::After::eventInit ? *events : command;
    target.send(c.bytes);
    if (c.finish) target.finish();

    EXPECT_TRUE(target.closedByEndpoint());
    if (c.after == Malformed::After::commandInit) {
        EXPECT_TRUE(events->closedByEndpoint()); // the session ends with its command connection
    } else if (c.after == Malformed::After::eventInit) {
        command.finish(); // the initiator gives up the session
        EXPECT_TRUE(command.closedByEndpoint());
    }
    ASSERT_TRUE(endpoint.waitIdle(std::chrono::seconds(30)));
    const auto rejections = endpoint.rejections();
    ASSERT_EQ(rejections.size(), 1u);
    EXPECT_EQ(rejections[0].rfind(c.why, 0), 0u) << rejections[0];

    // Nothing reached the camera's settings.
    EXPECT_EQ(std::get<int64_t>(camera->property(0x500F)->value), 100);
    for (const auto& request : camera->requests())
        EXPECT_NE(request.operationCode, 0x1016);
    const auto info = deviceInfo(endpoint.port());
    ASSERT_TRUE(info);
    EXPECT_EQ((*info)[0], 100); // PTP 1.00
}

using After = Malformed::After;
const Bytes kInit = ptpip::initCommandRequest(kGUID, u"raw test");

INSTANTIATE_TEST_SUITE_P(
    Cases, PTPIPEndpointMalformed,
    ::testing::Values(
        Malformed{"LengthBelowHeader", After::nothing, le32(4) + le32(ptpip::InitCommandRequest), false,
                  "length 4 below the header"},
        Malformed{"AbsurdLength", After::nothing, le32(0xFFFFFFFF) + le32(ptpip::InitCommandRequest), false,
                  "length 4294967295 too long"},
        Malformed{"TruncatedHeader", After::nothing, Bytes{0x22, 0, 0}, true, "truncated header"},
        Malformed{"TruncatedPacket", After::nothing, Bytes(kInit.begin(), kInit.begin() + 20), true,
                  "truncated packet of type 1"},
        Malformed{"OperationBeforeInit", After::nothing, ptpip::operationRequest({1, 0x1001, 0, {}}), false,
                  "packet type 6 before the init request"},
        Malformed{"NameWithoutEnd", After::nothing,
                  ptpip::packet(ptpip::InitCommandRequest, Bytes(kGUID.begin(), kGUID.end()) + Bytes{'a', 0, 'b', 0}),
                  false, "malformed Init Command Request"},
        Malformed{"EventForNoSession", After::nothing, ptpip::initEventRequest(99), false,
                  "Init Event Request for connection 99"},
        Malformed{"ParametersCutShort", After::commandInit,
                  ptpip::packet(ptpip::OperationRequest, le32(1) + Bytes{0x01, 0x10} + le32(0) + Bytes{1, 2, 3}), false,
                  "malformed Operation Request"},
        Malformed{"TooManyParameters", After::commandInit,
                  ptpip::packet(ptpip::OperationRequest, le32(1) + Bytes{0x01, 0x10} + le32(0) + le32(1) + le32(2) +
                                                             le32(3) + le32(4) + le32(5) + le32(6)),
                  false, "length 42 too long for packet type 6"},
        Malformed{"AbsurdDataPhase", After::commandInit, setISO(1) + ptpip::startData(1, uint64_t{1} << 40), false,
                  "data phase of 1099511627776 bytes"},
        Malformed{"MoreDataThanAnnounced", After::commandInit,
                  setISO(1) + ptpip::startData(1, 2) + ptpip::dataPiece(ptpip::EndData, 1, Bytes{0x90, 1, 0, 0}), false,
                  "more data than the announced 2 bytes"},
        Malformed{"LessDataThanAnnounced", After::commandInit,
                  setISO(1) + ptpip::startData(1, 4) + ptpip::dataPiece(ptpip::EndData, 1, Bytes{0x90, 1}), false,
                  "data phase ended short"},
        Malformed{"DataOfAnotherTransaction", After::commandInit,
                  setISO(1) + ptpip::startData(1, 2) + ptpip::dataPiece(ptpip::EndData, 2, Bytes{0x90, 1}), false,
                  "expected Data or End Data for transaction 1"},
        Malformed{"DataWithoutStart", After::commandInit,
                  setISO(1) + ptpip::dataPiece(ptpip::EndData, 1, Bytes{0x90, 1}), false,
                  "expected Start Data for transaction 1"},
        Malformed{"AbsurdDataPiece", After::commandInit,
                  setISO(1) + ptpip::startData(1, 2) + le32(0xFFFFFFF0) + le32(ptpip::Data), false,
                  "length 4294967280 too long for packet type 10"},
        Malformed{"TruncatedDataPiece", After::commandInit,
                  setISO(1) + ptpip::startData(1, 2) + le32(200) + le32(ptpip::Data) + Bytes{1, 0, 0, 0}, true,
                  "truncated packet of type 10"},
        Malformed{"EventOnCommandConnection", After::commandInit, ptpip::event(0x4002, 0, {}), false,
                  "packet type 8 on the command connection"},
        Malformed{"OperationOnEventConnection", After::eventInit, ptpip::operationRequest({1, 0x1001, 0, {}}), false,
                  "packet type 6 on the event connection"},
        Malformed{"AbsurdLengthOnEventConnection", After::eventInit, le32(0x7FFFFFFF) + le32(ptpip::ProbeRequest),
                  false, "length 2147483647 too long"}),
    [](const auto& info) { return std::string(info.param.what); });

// A probe on either connection is answered, and the session goes on.
TEST(PTPIPEndpoint, AnswersProbes) {
    test_support::PTPIPEndpoint endpoint(zeta::platform::SimulatedCamera::preset("generic"));
    Connection command(endpoint.port());
    const uint32_t number = command.initCommand();
    ASSERT_NE(number, 0u);
    Connection events(endpoint.port());
    events.send(ptpip::initEventRequest(number));
    ASSERT_EQ(events.receive()->type, ptpip::InitEventAck);
    for (Connection* connection : {&command, &events}) {
        connection->send(ptpip::packet(ptpip::ProbeRequest));
        const auto answer = connection->receive();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->type, ptpip::ProbeResponse);
    }
    EXPECT_TRUE(endpoint.rejections().empty());
}

// A second initiator is turned away while a session is open.
TEST(PTPIPEndpoint, OneSessionAtATime) {
    test_support::PTPIPEndpoint endpoint(zeta::platform::SimulatedCamera::preset("generic"));
    Connection first(endpoint.port());
    ASSERT_NE(first.initCommand(), 0u);
    Connection second(endpoint.port());
    second.send(ptpip::initCommandRequest(kGUID, u"second"));
    const auto fail = second.receive();
    ASSERT_TRUE(fail);
    EXPECT_EQ(fail->type, ptpip::InitFail);
    EXPECT_EQ(fail->payload, le32(ptpip::FailBusy));
    EXPECT_TRUE(second.closedByEndpoint());
    EXPECT_EQ(endpoint.sessions(), 1);
}

} // namespace
