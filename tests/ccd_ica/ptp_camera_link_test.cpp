#include "ccd_ica/ptp_classes.h"
#include "platform/camera/ic_device_browser.h"
#include "platform/camera/simulated_device_source.h"
#include "platform/dispatch.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// The camera side of the link, as the driver's camera object uses it.
class Link final : public zeta::platform::ICCameraDeviceDelegate, public zeta::platform::ICDeviceBrowserDelegate {
public:
    void didAddDevice(zeta::platform::ICDeviceBrowser&, const std::shared_ptr<zeta::platform::ICCameraDevice>& d,
                      bool) override {
        device = d;
    }
    void didRemoveDevice(zeta::platform::ICDeviceBrowser&, const std::shared_ptr<zeta::platform::ICCameraDevice>&,
                         bool) override {}
    void didOpenSessionWithError(const std::shared_ptr<zeta::platform::ICCameraDevice>&,
                                 const std::optional<zeta::platform::ICError>& e) override {
        opened = !e;
    }
    void didReceivePTPEvent(const std::shared_ptr<zeta::platform::ICCameraDevice>&, const Bytes& data) override {
        if (auto event = PTPEvent::withData(data)) events.push_back(event);
    }
    void didAddItem(const std::shared_ptr<zeta::platform::ICCameraDevice>&,
                    const std::shared_ptr<zeta::platform::ICCameraItem>& item) override {
        items.push_back(item);
    }
    void didSendPTPCommand(const Bytes&, const Bytes& inData, const Bytes& response,
                           const std::optional<zeta::platform::ICError>&, const std::any& context) override {
        completed.push_back(
            {std::any_cast<std::shared_ptr<PTPRequest>>(context), PTPResponse::withData(response), inData});
    }
    void didDownloadFile(const std::shared_ptr<zeta::platform::ICCameraFile>&,
                         const std::optional<zeta::platform::ICError>& error,
                         const zeta::platform::ICDownloadOptions& options, const std::any&) override {
        downloaded = error ? std::optional<zeta::platform::ICDownloadOptions>{} : options;
        downloadDone = true;
    }

    struct Completion {
        std::shared_ptr<PTPRequest> request;
        std::shared_ptr<PTPResponse> response;
        Bytes data;
    };
    Completion send(const std::shared_ptr<Link>& self, uint16_t code, std::vector<uint32_t> parameters,
                    Bytes out = {}) {
        auto request = std::make_shared<PTPRequest>();
        request->operationCode = code;
        request->numberOfParameters = static_cast<uint16_t>(parameters.size());
        uint32_t* slots[] = {&request->parameter1, &request->parameter2, &request->parameter3};
        for (std::size_t i = 0; i < parameters.size(); ++i)
            *slots[i] = parameters[i];
        const std::size_t before = completed.size();
        device->requestSendPTPCommand(request->commandBuffer(), std::move(out), self, request);
        EXPECT_TRUE(platform_wait([&] { return completed.size() > before; }));
        return completed.back();
    }
    static bool platform_wait(const std::function<bool()>& done) { return dispatch::runMainQueueUntil(done, 5s); }

    std::shared_ptr<zeta::platform::ICCameraDevice> device;
    bool opened = false;
    std::vector<std::shared_ptr<PTPEvent>> events;
    std::vector<std::shared_ptr<zeta::platform::ICCameraItem>> items;
    std::vector<Completion> completed;
    std::optional<zeta::platform::ICDownloadOptions> downloaded;
    bool downloadDone = false;
};

struct Session {
    explicit Session(std::shared_ptr<zeta::platform::SimulatedCamera> cam) : camera(std::move(cam)) {
        source->plug(camera);
        browser.setDelegate(link);
        browser.start();
        EXPECT_TRUE(Link::platform_wait([&] { return link->device != nullptr; }));
        link->device->setDelegate(link);
        link->device->requestOpenSession();
        EXPECT_TRUE(Link::platform_wait([&] { return link->opened; }));
    }
    std::shared_ptr<zeta::platform::SimulatedCamera> camera;
    std::shared_ptr<zeta::platform::SimulatedDeviceSource> source =
        std::make_shared<zeta::platform::SimulatedDeviceSource>();
    std::shared_ptr<Link> link = std::make_shared<Link>();
    zeta::platform::ICDeviceBrowser browser{dispatch::mainQueue(), {source}};
};

TEST(PTPCameraLink, SessionDeviceInfoAndPropertyRoundTrip) {
    Session s(zeta::platform::SimulatedCamera::preset("generic"));
    auto& link = *s.link;

    const auto info = link.send(s.link, 0x1001, {});
    ASSERT_TRUE(info.response);
    EXPECT_EQ(info.response->responseCode, 0x2001);
    EXPECT_EQ(info.request->description(), "PTPRequestCodeGetDeviceInfo");
    const auto deviceInfo = ptpGenericClasses().deviceInfoWithData(info.data);
    ASSERT_TRUE(deviceInfo);
    EXPECT_EQ(deviceInfo->model, "Simulated Camera");
    EXPECT_NE(std::find(deviceInfo->operationsSupported.begin(), deviceInfo->operationsSupported.end(), 0x100E),
              deviceInfo->operationsSupported.end());
    ASSERT_FALSE(deviceInfo->propertiesSupported.empty());

    const auto described = link.send(s.link, 0x1014, {0x5007});
    auto fNumber = PTPProperty::withData(described.data);
    ASSERT_TRUE(fNumber && fNumber->supportedValues);
    EXPECT_EQ(fNumber->value.description(), "560");
    EXPECT_EQ(fNumber->supportedValues->size(), 6u);
    deviceInfo->setProperty(fNumber);

    // SetDevicePropValue carries its value out in a data phase; the camera reports the change
    // and the description read back holds the new value.
    const auto encoded = ptp_encode_value(fNumber->type, PTPValue(std::string("800")));
    ASSERT_TRUE(encoded);
    const auto set = link.send(s.link, 0x1016, {0x5007}, *encoded);
    EXPECT_EQ(set.response->responseCode, 0x2001);
    const auto readBack = PTPProperty::withData(link.send(s.link, 0x1014, {0x5007}).data);
    ASSERT_TRUE(readBack);
    EXPECT_EQ(readBack->value.intValue(), 800);
    ASSERT_TRUE(Link::platform_wait([&] { return !link.events.empty(); }));
    EXPECT_EQ(link.events[0]->description(), "PTPEventCodeDevicePropChanged[0x00005007]");

    // A value the camera does not offer is refused, and the old value stays.
    const auto refused =
        link.send(s.link, 0x1016, {0x5007}, *ptp_encode_value(fNumber->type, PTPValue(std::string("123"))));
    EXPECT_EQ(refused.response->responseCodeName(), "PTPResponseCodeInvalidDevicePropValue");
}

TEST(PTPCameraLink, EventsArriveInOrder) {
    Session s(zeta::platform::SimulatedCamera::preset("generic"));
    for (uint32_t i = 0; i < 10; ++i)
        s.camera->sendEvent(0x4006, {0x5000 + i});
    ASSERT_TRUE(Link::platform_wait([&] { return s.link->events.size() == 10; }));
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(s.link->events[i]->parameter1, 0x5000 + i);
}

TEST(PTPCameraLink, TruncatedDatasetsParseUpToWhereTheyEnd) {
    Session s(zeta::platform::SimulatedCamera::preset("nikon"));
    auto whole = ptpGenericClasses().deviceInfoWithData(s.link->send(s.link, 0x1001, {}).data);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->vendorExtension, PTPVendorExtensionNikon);
    EXPECT_EQ(whole->manufacturer, "Nikon Corporation");

    s.camera->truncateData(0x1001, 60); // ends inside the operations list
    auto cut = ptpGenericClasses().deviceInfoWithData(s.link->send(s.link, 0x1001, {}).data);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->vendorExtensionDesc, "microsoft.com: 1.0");
    EXPECT_TRUE(cut->operationsSupported.empty());
    EXPECT_TRUE(cut->manufacturer.empty());

    s.camera->truncateData(0x1014, 9);
    auto property = PTPProperty::withData(s.link->send(s.link, 0x1014, {0x5007}).data);
    ASSERT_TRUE(property);
    EXPECT_EQ(property->value.intValue(), 560);
    EXPECT_FALSE(property->supportedValues);
}

TEST(PTPCameraLink, ObjectDownloadsByteIdenticalUnderItsBaseName) {
    Session s(zeta::platform::SimulatedCamera::preset("generic"));
    Bytes picture(123457);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>(i ^ (i >> 8));
    s.camera->setCaptureFile("/store_00010001/DCIM/100ZETA/DSC_0042.NEF", picture);
    s.link->device->requestTakePicture();
    ASSERT_TRUE(Link::platform_wait([&] { return !s.link->items.empty(); }));
    auto file = std::dynamic_pointer_cast<zeta::platform::ICCameraFile>(s.link->items[0]);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name(), "DSC_0042.NEF");

    const auto folder = std::filesystem::temp_directory_path() / ("zeta_link_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    zeta::platform::ICDownloadOptions options;
    options.ICDownloadsDirectoryURL = folder;
    options.ICOverwrite = true;
    s.link->device->requestDownloadFile(file, options, s.link, {});
    ASSERT_TRUE(Link::platform_wait([&] { return s.link->downloadDone; }));
    ASSERT_TRUE(s.link->downloaded && s.link->downloaded->ICSavedFilename);
    EXPECT_EQ(*s.link->downloaded->ICSavedFilename, "DSC_0042.NEF");
    std::ifstream in(folder / "DSC_0042.NEF", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), picture);
    std::filesystem::remove_all(folder);
}

TEST(PTPCameraLink, SimulatedPicturesAreJPEGFiles) {
    Session s(zeta::platform::SimulatedCamera::preset("generic"));
    s.link->device->requestTakePicture();
    ASSERT_TRUE(Link::platform_wait([&] { return !s.link->items.empty(); }));
    const auto stored = s.link->send(s.link, 0x1009, {s.link->items[0]->objectHandle()});
    ASSERT_GT(stored.data.size(), 100u);
    EXPECT_EQ(stored.data[0], 0xFF);
    EXPECT_EQ(stored.data[1], 0xD8);
}

} // namespace
