#include "platform/camera/ptp_usb_framing.h"

#include "platform/camera/packet_queue.h"
#include "platform/camera/ptp_transport.h"

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace {

using namespace zeta::platform;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Both endpoints of a USB pipe in memory: what the host sends, and what the camera sends.
class MemoryPort final : public PTPPort {
public:
    explicit MemoryPort(std::size_t packet) : out(packet), in(packet), interrupt(64) {}
    std::size_t maxPacketSize() const override { return out.maxPacketSize(); }
    std::chrono::milliseconds responseTimeout() const override { return 200ms; }
    PTPPortStatus bulkOut(std::span<const uint8_t> data, std::chrono::milliseconds) override {
        out.write(data);
        return PTPPortStatus::ok;
    }
    PTPPortStatus bulkIn(std::span<uint8_t> b, std::size_t& n, std::chrono::milliseconds t) override {
        return in.read(b, n, t);
    }
    PTPPortStatus interruptIn(std::span<uint8_t> b, std::size_t& n, std::chrono::milliseconds t) override {
        return interrupt.read(b, n, t);
    }
    PTPPortStatus cancelRequest(uint32_t) override {
        ++cancels;
        in.clear();
        return PTPPortStatus::ok;
    }
    PTPPortStatus deviceReset() override { return PTPPortStatus::ok; }
    PTPPortStatus getDeviceStatus(PTPPortDeviceStatus& s) override {
        s.code = 0x2001;
        return PTPPortStatus::ok;
    }
    void close() override { in.close(); }

    PacketQueue out, in, interrupt;
    int cancels = 0;
};

Bytes payloadOf(std::size_t size) {
    Bytes b(size);
    std::iota(b.begin(), b.end(), uint8_t{7});
    return b;
}

TEST(PTPUsbFraming, ContainersGoOutAsPacketsWithAZeroLengthPacketAfterWholePackets) {
    const struct {
        std::size_t containerSize;
        std::vector<std::size_t> packets;
    } cases[] = {
        {12, {12}}, {511, {511}}, {512, {512, 0}}, {513, {512, 1}}, {1024, {512, 512, 0}}, {1500, {512, 512, 476}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.containerSize);
        MemoryPort port(512);
        const Bytes container = makeContainer(2, 0x1016, 1, payloadOf(c.containerSize - PTPContainerHeaderSize));
        ASSERT_EQ(sendContainer(port, container, 100ms), PTPPortStatus::ok);
        EXPECT_EQ(port.out.writtenPacketSizes(), c.packets);
    }
}

TEST(PTPUsbFraming, DataPhasesOf511To513BytesAreReadWhole) {
    for (std::size_t containerSize : {511u, 512u, 513u, 1024u, 4096u + 12u}) {
        for (bool zeroLengthPacket : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << containerSize << (zeroLengthPacket ? " with" : " without") << " zero-length packet");
            MemoryPort port(512);
            const Bytes payload = payloadOf(containerSize - PTPContainerHeaderSize);
            const Bytes data = makeContainer(2, 0x1009, 5, payload);
            port.in.write(data);
            if (zeroLengthPacket && containerSize % 512 == 0) port.in.write({});
            port.in.write(makeContainer(3, 0x2001, 5, {}));

            PTPContainerReader reader(port);
            PTPReceivedContainer received;
            ASSERT_EQ(reader.read(received, 100ms, 100ms), PTPPortStatus::ok);
            EXPECT_EQ(received.header.type, 2);
            EXPECT_EQ(received.header.length, containerSize);
            EXPECT_EQ(received.payload, payload);
            ASSERT_EQ(reader.read(received, 100ms, 100ms), PTPPortStatus::ok);
            EXPECT_EQ(received.header.type, 3);
            EXPECT_EQ(received.header.code, 0x2001);
            EXPECT_TRUE(received.payload.empty());
            EXPECT_EQ(reader.read(received, 20ms, 20ms), PTPPortStatus::timeout);
        }
    }
}

TEST(PTPUsbFraming, BrokenStreamsEndInAnErrorNotAHang) {
    {
        MemoryPort port(512);
        port.in.write(Bytes{4, 0, 0, 0, 3, 0, 1, 0x20, 0, 0, 0, 0}); // length 4: not a container
        PTPContainerReader reader(port);
        PTPReceivedContainer received;
        EXPECT_EQ(reader.read(received, 50ms, 50ms), PTPPortStatus::error);
    }
    {
        MemoryPort port(512);
        Bytes header = makeContainer(2, 0x1009, 1, payloadOf(100));
        header.resize(60); // announces 112 bytes, 60 arrive
        port.in.write(header);
        PTPContainerReader reader(port);
        PTPReceivedContainer received;
        EXPECT_EQ(reader.read(received, 50ms, 50ms), PTPPortStatus::timeout);
    }
    {
        MemoryPort port(512);
        for (int i = 0; i < 40; ++i)
            port.in.write({});
        PTPContainerReader reader(port);
        PTPReceivedContainer received;
        EXPECT_EQ(reader.read(received, 50ms, 50ms), PTPPortStatus::error);
    }
}

TEST(PTPTransport, NumbersTransactionsAndCancelsWhenNoResponseComes) {
    MemoryPort port(512);
    PTPTransport transport(port);
    const Bytes command{16, 0, 0, 0, 1, 0, 0x14, 0x10, 0, 0, 0, 0, 0x07, 0x50, 0, 0};

    port.in.write(makeContainer(2, 0x1014, 0, payloadOf(20)));
    port.in.write(makeContainer(3, 0x2001, 0, {}));
    PTPTransactionResult first = transport.transact(command, {});
    EXPECT_EQ(first.status, PTPPortStatus::ok);
    EXPECT_EQ(first.dataIn, payloadOf(20));
    ASSERT_EQ(first.response.size(), 12u);

    // The command went out numbered 0, with a data phase out numbered alike.
    port.in.write(makeContainer(3, 0x2001, 1, {}));
    transport.transact(command, Bytes{1, 2});
    const Bytes sent = [&] {
        Bytes all(4096);
        std::size_t n = 0, total = 0;
        while (port.out.read(std::span(all.data() + total, all.size() - total), n, 1ms) == PTPPortStatus::ok && n)
            total += n;
        all.resize(total);
        return all;
    }();
    ASSERT_EQ(sent.size(), 16u + 16u + 14u);
    EXPECT_EQ(sent[8], 0);
    EXPECT_EQ(sent[16 + 8], 1);
    EXPECT_EQ(sent[32 + 4], 2); // data container
    EXPECT_EQ(sent[32 + 8], 1);

    // No answer: the transaction is cancelled and reported without a response.
    PTPTransactionResult lost = transport.transact(command, {});
    EXPECT_EQ(lost.status, PTPPortStatus::timeout);
    EXPECT_TRUE(lost.response.empty());
    EXPECT_FALSE(lost.error.empty());
    EXPECT_EQ(port.cancels, 1);

    // A stale answer of an earlier transaction is passed over.
    port.in.write(makeContainer(3, 0x2001, 2, {}));
    port.in.write(makeContainer(3, 0x2019, 3, {}));
    PTPTransactionResult next = transport.transact(command, {});
    ASSERT_EQ(next.response.size(), 12u);
    EXPECT_EQ(next.response[6], 0x19);

    EXPECT_EQ(transport.transact(Bytes{1, 2, 3}, {}).status, PTPPortStatus::error); // not a command container
}

} // namespace
