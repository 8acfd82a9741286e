#include "ccd_ica/ptp_containers.h"

#include "ccd_ica/ptp_classes.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes container(uint32_t length, uint16_t type, uint16_t code, uint32_t transaction, std::vector<uint32_t> parameters,
                std::size_t size) {
    Bytes b(size, 0);
    auto put = [&b](std::size_t at, uint64_t v, int width) {
        for (int i = 0; i < width && at + i < b.size(); ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, length, 4);
    put(4, type, 2);
    put(6, code, 2);
    put(8, transaction, 4);
    for (std::size_t i = 0; i < parameters.size(); ++i)
        put(12 + 4 * i, parameters[i], 4);
    return b;
}

// A vendor family that changes only names, as the Nikon, Canon and Sony classes do.
constexpr PTPCodeName testOperations[] = {{0x90C7, "PTPRequestCodeTestCheckEvent"}};
constexpr PTPNameTable testOperationTable(testOperations, &ptpOperationNameTable, "");
constexpr PTPCodeName testEvents[] = {{0xC101, "PTPEventCodeTestObjectAddedInSDRAM"}};
constexpr PTPNameTable testEventTable(testEvents, &ptpEventNameTable, "");

class TestRequest : public PTPRequest {
public:
    const PTPNameTable& operationNames() const override { return testOperationTable; }
};
class TestEvent : public PTPEvent {
public:
    const PTPNameTable& eventNames() const override { return testEventTable; }
};

TEST(PTPContainers, CommandContainer) {
    PTPRequest request;
    request.operationCode = 0x1014;
    request.numberOfParameters = 1;
    request.parameter1 = 0x5007;
    EXPECT_EQ(request.commandBuffer(), (Bytes{0x10, 0, 0, 0, 0x01, 0x00, 0x14, 0x10, 0, 0, 0, 0, 0x07, 0x50, 0, 0}));
    EXPECT_EQ(request.description(), "PTPRequestCodeGetDevicePropDesc[0x00005007]");

    PTPRequest bare;
    bare.operationCode = 0x1001;
    EXPECT_EQ(bare.commandBuffer(), (Bytes{12, 0, 0, 0, 1, 0, 0x01, 0x10, 0, 0, 0, 0}));
    EXPECT_EQ(bare.description(), "PTPRequestCodeGetDeviceInfo");

    PTPRequest full;
    full.operationCode = 0x9207;
    full.numberOfParameters = 5;
    full.parameter1 = 0xFFFFFFFE;
    full.parameter5 = 5;
    EXPECT_EQ(full.commandBuffer().size(), 32u);
    EXPECT_EQ(full.description(), "PTPRequestCode0x9207[0xFFFFFFFE, 0x00000000, 0x00000000, 0x00000000, 0x00000005]");
}

struct ParseCase {
    const char* name;
    Bytes bytes;
    bool parses;
    uint16_t parameters;
};

TEST(PTPContainers, ResponseContainers) {
    const ParseCase cases[] = {
        {"12 bytes", container(12, 3, 0x2001, 7, {}, 12), true, 0},
        {"20 bytes", container(20, 3, 0x2001, 7, {1, 2}, 20), true, 2},
        {"22 bytes, remainder dropped", container(22, 3, 0x2001, 7, {1, 2}, 22), true, 2},
        {"32 bytes", container(32, 3, 0x2001, 7, {1, 2, 3, 4, 5}, 32), true, 5},
        {"33 bytes", container(33, 3, 0x2001, 7, {}, 33), false, 0},
        {"11 bytes", container(11, 3, 0x2001, 7, {}, 11), false, 0},
        {"empty", {}, false, 0},
        {"data type", container(12, 2, 0x2001, 7, {}, 12), false, 0},
        {"length field 40", container(40, 3, 0x2001, 7, {}, 20), false, 0},
        {"length field 8", container(8, 3, 0x2001, 7, {}, 12), false, 0},
        {"length beyond the bytes", container(28, 3, 0x2001, 7, {1, 2, 3, 4}, 16), true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto response = PTPResponse::withData(c.bytes);
        ASSERT_EQ(response != nullptr, c.parses);
        if (!response) continue;
        EXPECT_EQ(response->responseCode, 0x2001);
        EXPECT_EQ(response->transactionID, 7u);
        EXPECT_EQ(response->numberOfParameters, c.parameters);
        const uint32_t expected[] = {1, 2, 3, 4, 5};
        const uint32_t got[] = {response->parameter1, response->parameter2, response->parameter3, response->parameter4,
                                response->parameter5};
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(got[i], i < c.parameters ? expected[i] : 0u) << i;
    }
    auto twoParameters = PTPResponse::withData(container(20, 3, 0x2019, 1, {0xA, 0xB}, 20));
    EXPECT_EQ(twoParameters->description(), "PTPResponseCodeDeviceBusy[0x0000000A, 0x0000000B]");
}

TEST(PTPContainers, EventContainers) {
    const ParseCase cases[] = {
        {"24 bytes", container(24, 4, 0x4006, 0, {0x5007, 2, 3}, 24), true, 3},
        {"16 bytes", container(16, 4, 0x4006, 0, {0x5007}, 16), true, 1},
        {"28 bytes", container(28, 4, 0x4006, 0, {}, 28), false, 0},
        {"response type", container(16, 3, 0x4006, 0, {}, 16), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto event = PTPEvent::withData(c.bytes);
        ASSERT_EQ(event != nullptr, c.parses);
        if (event) {
            EXPECT_EQ(event->numberOfParameters, c.parameters);
        }
    }
    auto made = PTPEvent::withCode(0x4006, 0x5007);
    EXPECT_EQ(made->numberOfParameters, 1);
    EXPECT_EQ(made->transactionID, 0u);
    EXPECT_EQ(made->description(), "PTPEventCodeDevicePropChanged[0x00005007]");
}

TEST(PTPContainers, FallbackNames) {
    EXPECT_EQ(PTPRequest::operationCodeName(0x9999), "PTPRequestCode0x9999");
    EXPECT_EQ(PTPRequest::operationCodeName(0x101C), "PTPRequestCodeInitiateOpenCapture");
    EXPECT_EQ(PTPRequest::operationCodeName(0x9820), "PTPRequestCodeMTPSkip");
    EXPECT_EQ(PTPResponse::responseCodeName(0x200E), "PTPResponseCodeStoreReadOnly");
    EXPECT_EQ(PTPResponse::responseCodeName(0xA805), "PTPResponseCode0xa805");
    EXPECT_EQ(PTPEvent::eventCodeName(0xC203), "PTPEventCodeCode0xc203");
    EXPECT_EQ(PTPEvent::eventCodeName(0x400E), "PTPEventCodeUnreportedStatus");
    EXPECT_EQ(PTPVendor::vendorExtensionName(17), "PTPVendorExtensionSony");
    EXPECT_EQ(PTPVendor::vendorExtensionName(99), "PTPVendorExtension0x0063");
    EXPECT_EQ(PTPVendor(10).vendorExtensionName(), "PTPVendorExtensionNikon");
}

// Four refusals whose names say what the camera would not do (pick objects by format, group
// or depth, or take a chosen destination): the camera's failure messages and the log show them.
TEST(PTPContainers, ResponseNamesSayWhatWasRefused) {
    const struct {
        std::uint16_t code;
        const char* name;
    } cases[] = {
        {0x2014, "PTPResponseCodeFilterByFormatUnsupported"},
        {0x2020, "PTPResponseCodeDestinationChoiceUnsupported"},
        {0xA807, "PTPResponseCodeMTPFilterByGroupUnsupported"},
        {0xA808, "PTPResponseCodeMTPFilterByDepthUnsupported"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PTPResponse::responseCodeName(c.code), c.name) << std::hex << c.code;
}

TEST(PTPContainers, VendorClassesChangeOnlyNames) {
    using TestClasses = PTPClassesOf<TestRequest, PTPResponse, TestEvent, PTPProperty, PTPDeviceInfo>;
    const TestClasses classes;

    EXPECT_EQ(classes.operationCodeName(0x90C7), "PTPRequestCodeTestCheckEvent");
    EXPECT_EQ(classes.operationCodeName(0x1001), "PTPRequestCodeGetDeviceInfo"); // the base table
    EXPECT_EQ(classes.operationCodeName(0x9999), "PTPRequestCode0x9999");        // the base fallback
    EXPECT_EQ(classes.eventCodeName(0xC102), "PTPEventCodeCode0xc102");
    EXPECT_EQ(ptpGenericClasses().operationCodeName(0x90C7), "PTPRequestCode0x90c7");

    auto request = classes.request();
    request->operationCode = 0x90C7;
    EXPECT_EQ(request->description(), "PTPRequestCodeTestCheckEvent");
    EXPECT_EQ(request->commandBuffer().size(), 12u);

    auto event = classes.eventWithData(container(16, 4, 0xC101, 3, {9}, 16));
    ASSERT_NE(event, nullptr);
    EXPECT_NE(dynamic_cast<TestEvent*>(event.get()), nullptr);
    EXPECT_EQ(event->description(), "PTPEventCodeTestObjectAddedInSDRAM[0x00000009]");
    EXPECT_EQ(classes.eventWithCode(0xC101, 1)->eventCodeName(), "PTPEventCodeTestObjectAddedInSDRAM");
    EXPECT_EQ(classes.eventWithData(Bytes{1, 2, 3}), nullptr);
}

} // namespace
