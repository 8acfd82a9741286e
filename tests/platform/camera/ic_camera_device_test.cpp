#include "platform/camera/ic_device_browser.h"
#include "platform/camera/simulated_device_source.h"
#include "platform/dispatch.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zeta::platform;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes command(uint16_t code, std::vector<uint32_t> parameters = {}) {
    Bytes c(12 + 4 * parameters.size(), 0);
    c[0] = static_cast<uint8_t>(c.size());
    c[4] = 1;
    c[6] = static_cast<uint8_t>(code);
    c[7] = static_cast<uint8_t>(code >> 8);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        for (int b = 0; b < 4; ++b)
            c[12 + 4 * i + b] = static_cast<uint8_t>(parameters[i] >> (8 * b));
    }
    return c;
}

uint16_t codeOf(const Bytes& container) {
    return container.size() >= 8 ? static_cast<uint16_t>(container[6] | (container[7] << 8)) : 0;
}

// Everything the framework reports, as lines, recorded on the callback queue.
class Recorder final : public ICCameraDeviceDelegate, public ICDeviceBrowserDelegate {
public:
    void didAddDevice(ICDeviceBrowser&, const std::shared_ptr<ICCameraDevice>& d, bool) override {
        note("added " + d->name());
        devices.push_back(d);
    }
    void didRemoveDevice(ICDeviceBrowser&, const std::shared_ptr<ICCameraDevice>& d, bool) override {
        note("browser removed " + d->name());
    }
    void didOpenSessionWithError(const std::shared_ptr<ICCameraDevice>&, const std::optional<ICError>& e) override {
        note(e ? "open failed: " + e->localizedDescription : "open");
    }
    void didCloseSessionWithError(const std::shared_ptr<ICCameraDevice>&, const std::optional<ICError>& e) override {
        note(e ? "close failed" : "close");
    }
    void didRemoveDevice(const std::shared_ptr<ICCameraDevice>& d) override { note("removed " + d->name()); }
    void didEncounterError(const std::shared_ptr<ICCameraDevice>&, const ICError& e) override {
        note("error " + e.localizedDescription);
    }
    void didAddItem(const std::shared_ptr<ICCameraDevice>&, const std::shared_ptr<ICCameraItem>& item) override {
        note(std::string(std::dynamic_pointer_cast<ICCameraFile>(item) ? "file " : "folder ") + item->name());
        items.push_back(item);
    }
    void didReceivePTPEvent(const std::shared_ptr<ICCameraDevice>&, const Bytes& event) override {
        char text[16];
        std::snprintf(text, sizeof text, "event %04x", codeOf(event));
        note(text);
    }
    void didSendPTPCommand(const Bytes& cmd, const Bytes& inData, const Bytes& response,
                           const std::optional<ICError>& error, const std::any& context) override {
        char text[48];
        std::snprintf(text, sizeof text, "sent %04x -> %04x", codeOf(cmd), codeOf(response));
        note(text);
        results.push_back({inData, response, error, std::any_cast<int>(context)});
    }
    void didDownloadFile(const std::shared_ptr<ICCameraFile>& file, const std::optional<ICError>& error,
                         const ICDownloadOptions& options, const std::any&) override {
        note(error ? "download failed " + error->localizedDescription : "downloaded " + file->name());
        downloads.push_back(options);
    }

    void note(std::string line) {
        onCallbackQueue = onCallbackQueue && (queue ? queue->isCurrent() : dispatch::isMainThread());
        log.push_back(std::move(line));
    }
    bool waitFor(std::size_t lines, std::chrono::milliseconds timeout = 5s) {
        if (!queue) return dispatch::runMainQueueUntil([&] { return log.size() >= lines; }, timeout);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            bool done = false;
            queue->sync([&] { done = log.size() >= lines; });
            if (done) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    struct Result {
        Bytes inData, response;
        std::optional<ICError> error;
        int context;
    };
    std::vector<std::string> log;
    std::vector<std::shared_ptr<ICCameraDevice>> devices;
    std::vector<std::shared_ptr<ICCameraItem>> items;
    std::vector<Result> results;
    std::vector<ICDownloadOptions> downloads;
    dispatch::Queue* queue = nullptr; // null: the main queue
    bool onCallbackQueue = true;
};

// A browser on the main queue with one simulated camera plugged in and its session open.
struct Fixture {
    explicit Fixture(std::shared_ptr<SimulatedCamera> cam = SimulatedCamera::preset("generic"))
        : camera(std::move(cam)) {
        camera->setResponseTimeout(150ms);
        source->plug(camera);
        browser.setDelegate(recorder);
        browser.start();
        EXPECT_TRUE(recorder->waitFor(1));
        device = recorder->devices.at(0);
        device->setDelegate(recorder);
    }
    void open() {
        const std::size_t before = recorder->log.size();
        device->requestOpenSession();
        ASSERT_TRUE(recorder->waitFor(before + 1));
        ASSERT_EQ(recorder->log.back(), "open");
    }
    Recorder::Result send(Bytes cmd, Bytes out = {}, int context = 0) {
        const std::size_t before = recorder->results.size();
        device->requestSendPTPCommand(std::move(cmd), std::move(out), recorder, context);
        EXPECT_TRUE(dispatch::runMainQueueUntil([&] { return recorder->results.size() > before; }, 5s));
        return recorder->results.size() > before ? recorder->results.back() : Recorder::Result{};
    }

    std::shared_ptr<SimulatedCamera> camera;
    std::shared_ptr<SimulatedDeviceSource> source = std::make_shared<SimulatedDeviceSource>();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    ICDeviceBrowser browser{dispatch::mainQueue(), {source}};
    std::shared_ptr<ICCameraDevice> device;
};

std::filesystem::path freshFolder(const char* name) {
    auto folder = std::filesystem::temp_directory_path() /
                  ("zeta_camera_" + std::string(name) + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(ICCameraDevice, CommandsCompleteInOrderOnTheCallbackQueue) {
    Fixture f;
    EXPECT_EQ(f.device->name(), "Simulated Camera");
    EXPECT_EQ(f.device->usbVendorID(), 0xF055);
    f.open();
    for (int i = 0; i < 20; ++i)
        f.device->requestSendPTPCommand(command(i % 2 ? 0x1014 : 0x1001, {0x5007}), {}, f.recorder, i);
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return f.recorder->results.size() == 20; }, 5s));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(f.recorder->results[i].context, i);
        EXPECT_EQ(codeOf(f.recorder->results[i].response), 0x2001);
        EXPECT_FALSE(f.recorder->results[i].inData.empty());
    }
    EXPECT_TRUE(f.recorder->onCallbackQueue);

    f.device->requestCloseSession();
    ASSERT_TRUE(f.recorder->waitFor(f.recorder->log.size() + 1));
    EXPECT_EQ(f.recorder->log.back(), "close");
    // Without a session the camera says so; the framework passes the answer through.
    EXPECT_EQ(f.send(command(0x1001)).error->code, ICError::notOpen);
}

TEST(ICCameraDevice, FaultsArePassedOnAndTheNextTransactionWorks) {
    Fixture f;
    f.open();
    f.camera->answerBusy(0x1014, 2);
    EXPECT_EQ(codeOf(f.send(command(0x1014, {0x5007})).response), 0x2019);
    EXPECT_EQ(codeOf(f.send(command(0x1014, {0x5007})).response), 0x2019);
    EXPECT_EQ(codeOf(f.send(command(0x1014, {0x5007})).response), 0x2001);

    f.camera->loseResponse(0x1001);
    const auto lost = f.send(command(0x1001));
    EXPECT_TRUE(lost.response.empty());
    ASSERT_TRUE(lost.error);
    EXPECT_EQ(lost.error->code, ICError::transportError);
    EXPECT_EQ(f.camera->cancelRequests(), 1);
    EXPECT_EQ(codeOf(f.send(command(0x1001)).response), 0x2001);

    f.camera->truncateData(0x1001, 11);
    const auto cut = f.send(command(0x1001));
    EXPECT_EQ(cut.inData.size(), 11u);
    EXPECT_EQ(codeOf(cut.response), 0x2001);
}

TEST(ICCameraDevice, RemovalMidTransferEndsEverythingInOrder) {
    Fixture f;
    f.open();
    const uint32_t handle = f.camera->addObject("BIG.JPG", Bytes(100000, 0x5A), false);
    f.camera->removeDuringData(0x1009);
    f.device->requestSendPTPCommand(command(0x1009, {handle}), {}, f.recorder, 1);
    f.device->requestSendPTPCommand(command(0x1001), {}, f.recorder, 2);
    const auto& log = f.recorder->log;
    auto at = [&log](const char* line) {
        return std::find(log.begin(), log.end(), line) - log.begin();
    };
    ASSERT_TRUE(dispatch::runMainQueueUntil(
        [&] {
            return f.recorder->results.size() == 2 &&
                   at("browser removed Simulated Camera") < static_cast<long>(log.size());
        },
        5s));
    for (const auto& r : f.recorder->results) {
        EXPECT_TRUE(r.response.empty());
        ASSERT_TRUE(r.error);
    }
    // The transfer cut short completes first; the device hears of the removal before the browser.
    EXPECT_LT(at("sent 1009 -> 0000"), at("removed Simulated Camera"));
    EXPECT_LT(at("removed Simulated Camera"), at("browser removed Simulated Camera"));
    EXPECT_TRUE(f.browser.devices().empty());
    // Requests after the removal fail at once.
    EXPECT_EQ(f.send(command(0x1001)).error->code, ICError::deviceRemoved);
}

// A session asked of a camera already pulled out fails; nothing is sent through the port it no
// longer has.
TEST(ICCameraDevice, OpeningARemovedCameraFails) {
    Fixture f;
    f.source->unplug(f.camera);
    ASSERT_TRUE(dispatch::runMainQueueUntil(
        [&] { return std::count(f.recorder->log.begin(), f.recorder->log.end(), "removed Simulated Camera") == 1; },
        5s));
    const std::size_t before = f.recorder->log.size();
    f.device->requestOpenSession();
    ASSERT_TRUE(f.recorder->waitFor(before + 1));
    EXPECT_EQ(f.recorder->log.back(), "open failed: The camera has been removed");
}

TEST(ICCameraDevice, NewObjectsAreAnnouncedAndDownloadedUnderTheirBaseName) {
    Fixture f;
    const uint32_t before = f.camera->addObject("OLD.JPG", Bytes{1, 2, 3}, false); // on the card already
    f.open();
    Bytes picture(70001);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>(i * 31);
    f.camera->addObject("../../DCIM/100ZETA/IMG_0001.JPG", picture, true);
    f.camera->addObject("DCIM", {}, true, 0x3001);
    ASSERT_TRUE(f.recorder->waitFor(f.recorder->log.size() + 4));
    // Each new object's event comes before its item; items come in the order added.
    std::vector<std::string> tail(f.recorder->log.end() - 4, f.recorder->log.end());
    EXPECT_EQ(tail.front(), "event 4002");
    tail.erase(std::remove(tail.begin(), tail.end(), "event 4002"), tail.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"file IMG_0001.JPG", "folder DCIM"}));
    auto file = std::dynamic_pointer_cast<ICCameraFile>(f.recorder->items.at(0));
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->wasAddedAfterContentCatalogCompleted());
    EXPECT_EQ(file->fileSize(), picture.size());

    const auto folder = freshFolder("download");
    ICDownloadOptions options;
    options.ICDownloadsDirectoryURL = folder;
    options.ICOverwrite = true;
    options.ICDeleteAfterSuccessfulDownload = true;
    f.device->requestDownloadFile(file, options, f.recorder, {});
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return f.recorder->downloads.size() == 1; }, 5s));
    const ICDownloadOptions& done = f.recorder->downloads[0];
    ASSERT_TRUE(done.ICSavedFilename);
    EXPECT_EQ(*done.ICSavedFilename, "IMG_0001.JPG");
    EXPECT_EQ(done.ICDownloadsDirectoryURL, folder);
    EXPECT_EQ(readFile(folder / "IMG_0001.JPG"), picture);
    EXPECT_FALSE(f.camera->hasObject(file->objectHandle()));
    EXPECT_TRUE(f.camera->hasObject(before));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1); // nothing left beside it

    // Without overwrite an existing file is kept and the download gets a name of its own.
    const uint32_t again = f.camera->addObject("IMG_0001.JPG", Bytes{9, 9}, false);
    options.ICOverwrite = false;
    options.ICDeleteAfterSuccessfulDownload = false;
    f.device->requestDownloadFile(std::make_shared<ICCameraFile>("IMG_0001.JPG", again, true, 2, 0x3801), options,
                                  f.recorder, {});
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return f.recorder->downloads.size() == 2; }, 5s));
    EXPECT_EQ(*f.recorder->downloads[1].ICSavedFilename, "IMG_0001-1.JPG");
    EXPECT_EQ(readFile(folder / "IMG_0001.JPG"), picture);
    EXPECT_TRUE(f.camera->hasObject(again));

    // A handle the camera does not know fails with its answer.
    f.device->requestDownloadFile(std::make_shared<ICCameraFile>("X.JPG", 0xDEAD, true, 1, 0x3801), options, f.recorder,
                                  {});
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return f.recorder->downloads.size() == 3; }, 5s));
    EXPECT_FALSE(f.recorder->downloads[2].ICSavedFilename);
    EXPECT_EQ(f.recorder->log.back(), "download failed GetObject failed (0x2009 = PTPResponseCodeInvalidObjectHandle)");
    std::filesystem::remove_all(folder);
}

TEST(ICCameraDevice, TakePictureAnnouncesTheNewFile) {
    Fixture f;
    f.open();
    f.device->requestTakePicture();
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return f.recorder->items.size() == 1; }, 5s));
    EXPECT_EQ(f.recorder->items[0]->name(), "IMG_0001.JPG");
    const auto& log = f.recorder->log;
    EXPECT_NE(std::find(log.begin(), log.end(), "event 400d"), log.end());
}

TEST(ICCameraDevice, PolledNewObjectsOfANikonAreAnnouncedOnce) {
    Fixture f(SimulatedCamera::preset("nikon"));
    EXPECT_EQ(f.device->usbVendorID(), 0x04B0);
    f.open();
    f.send(command(0x9207, {0xFFFFFFFE, 0}));
    const auto events = f.send(command(0x90C7));
    ASSERT_EQ(events.inData.size(), 2u + 2 * 6); // ObjectAdded and CaptureComplete
    ASSERT_TRUE(dispatch::runMainQueueUntil([&] { return f.recorder->items.size() == 1; }, 5s));
    EXPECT_EQ(f.recorder->items[0]->name(), "IMG_0001.JPG");
}

TEST(ICCameraDevice, CallbacksRunOnTheGivenQueue) {
    dispatch::SerialQueue runLoop("driver run loop");
    auto source = std::make_shared<SimulatedDeviceSource>();
    auto camera = SimulatedCamera::preset("canon");
    source->plug(camera);
    auto recorder = std::make_shared<Recorder>();
    recorder->queue = &runLoop;
    {
        ICDeviceBrowser browser(runLoop, {source});
        browser.setDelegate(recorder);
        browser.start();
        ASSERT_TRUE(recorder->waitFor(1));
        std::shared_ptr<ICCameraDevice> device;
        runLoop.sync([&] { device = recorder->devices.at(0); });
        device->setDelegate(recorder);
        device->requestOpenSession();
        device->requestSendPTPCommand(command(0x9116), {}, recorder, 7);
        ASSERT_TRUE(recorder->waitFor(3));
        source->unplug(camera);
        ASSERT_TRUE(recorder->waitFor(5));
        runLoop.sync([&] {
            EXPECT_EQ(recorder->log, (std::vector<std::string>{"added Canon EOS 5D Mark III", "open",
                                                               "sent 9116 -> 2001", "removed Canon EOS 5D Mark III",
                                                               "browser removed Canon EOS 5D Mark III"}));
            EXPECT_TRUE(recorder->onCallbackQueue);
            recorder->devices.clear();
        });
    }
}

TEST(ICDeviceBrowser, PresetsComeFromTheEnvironmentList) {
    auto source = SimulatedDeviceSource::withPresets("generic, nikon,bogus,sony,canon");
    std::vector<uint16_t> vendors;
    for (const auto& camera : source->cameras())
        vendors.push_back(camera->usbVendorID());
    EXPECT_EQ(vendors, (std::vector<uint16_t>{0xF055, 0x04B0, 0x054C, 0x04A9}));

    ::setenv("ZETA_SIMULATED_CAMERAS", "sony", 1);
    auto recorder = std::make_shared<Recorder>();
    ICDeviceBrowser browser;
    browser.setDelegate(recorder);
    browser.start();
    ASSERT_TRUE(dispatch::runMainQueueUntil(
        [&] { return std::find(recorder->log.begin(), recorder->log.end(), "added ILCE-7RM2") != recorder->log.end(); },
        5s));
    browser.stop();
}

} // namespace
