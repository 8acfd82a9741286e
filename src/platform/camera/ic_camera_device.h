#pragma once
// The camera framework's camera device: one PTP camera with its session, the pass-through of
// PTP operations, its events, its new files and their downloads.
//
// Threads: requests may be made from any thread; they are carried out one at a time, in the
// order they were made, on the device's own I/O thread. Every delegate callback runs on the
// callback queue of the browser that found the device (the driver's run loop, by default
// dispatch::mainQueue()), one at a time, in the order the camera's answers came back; the
// callback queue is never blocked by camera I/O, so a callback may wait for a later answer
// only off that queue. Delegates are held weakly: a delegate that is gone is not called.
//
// The Objective-C selectors map to: device:didOpenSessionWithError: -> didOpenSessionWithError,
// device:didCloseSessionWithError: -> didCloseSessionWithError, didRemoveDevice: ->
// didRemoveDevice, device:didEncounterError: -> didEncounterError, cameraDevice:didAddItem: ->
// didAddItem, cameraDevice:didReceivePTPEvent: -> didReceivePTPEvent,
// didSendPTPCommand:inData:response:error:contextInfo: -> didSendPTPCommand,
// didDownloadFile:error:options:contextInfo: -> didDownloadFile.

#include "platform/camera/ic_device_source.h"
#include "platform/dispatch.h"

#include <any>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace zeta::platform {

class ICCameraDevice;
class PTPTransport;

struct ICError {
    int code = 0; // a PTP response code, or one of the codes below
    std::string localizedDescription;

    enum : int {
        transportError = -1, // no answer: timeout, transfer error
        deviceRemoved = -2,
        notOpen = -3,   // the camera's interface could not be opened
        fileError = -4, // a download could not be written
    };
};

// Something on the camera's card.
class ICCameraItem {
public:
    ICCameraItem(std::string name, uint32_t objectHandle, bool addedAfterContentCatalogCompleted)
        : name_(std::move(name)), objectHandle_(objectHandle),
          addedAfterContentCatalogCompleted_(addedAfterContentCatalogCompleted) {}
    virtual ~ICCameraItem() = default;

    // The camera's name for it, reduced to a base name (never a path).
    const std::string& name() const { return name_; }
    uint32_t objectHandle() const { return objectHandle_; }
    // Objects on the card before the session opened are not announced, so every announced item
    // arrived after the catalogue was complete.
    bool wasAddedAfterContentCatalogCompleted() const { return addedAfterContentCatalogCompleted_; }

private:
    std::string name_;
    uint32_t objectHandle_;
    bool addedAfterContentCatalogCompleted_;
};

class ICCameraFile final : public ICCameraItem {
public:
    ICCameraFile(std::string name, uint32_t objectHandle, bool addedAfter, uint64_t fileSize, uint16_t format)
        : ICCameraItem(std::move(name), objectHandle, addedAfter), fileSize_(fileSize), format_(format) {}
    uint64_t fileSize() const { return fileSize_; }
    uint16_t format() const { return format_; } // PTP object format (0x3801 JPEG, ...)

private:
    uint64_t fileSize_;
    uint16_t format_;
};

class ICCameraFolder final : public ICCameraItem {
public:
    using ICCameraItem::ICCameraItem;
};

// Download options, named after the framework's option keys. The completion gets the same
// options back with the folder actually used and ICSavedFilename, the name written there.
struct ICDownloadOptions {
    bool ICDeleteAfterSuccessfulDownload = false;
    bool ICOverwrite = false;
    std::optional<std::filesystem::path> ICDownloadsDirectoryURL; // none: the temporary folder
    std::optional<std::string> ICSavedFilename;
};

class ICCameraDeviceDelegate {
public:
    virtual ~ICCameraDeviceDelegate() = default;

    virtual void didOpenSessionWithError(const std::shared_ptr<ICCameraDevice>&, const std::optional<ICError>&) {}
    virtual void didCloseSessionWithError(const std::shared_ptr<ICCameraDevice>&, const std::optional<ICError>&) {}
    // The device has gone; after this no callback about it follows.
    virtual void didRemoveDevice(const std::shared_ptr<ICCameraDevice>&) {}
    virtual void didEncounterError(const std::shared_ptr<ICCameraDevice>&, const ICError&) {}
    // A new object on the card (an ICCameraFile, or an ICCameraFolder for folders).
    virtual void didAddItem(const std::shared_ptr<ICCameraDevice>&, const std::shared_ptr<ICCameraItem>&) {}
    // A raw event container as the camera sent it.
    virtual void didReceivePTPEvent(const std::shared_ptr<ICCameraDevice>&, const std::vector<uint8_t>&) {}
    // The completion of requestSendPTPCommand: the data phase in (empty when none), the response
    // container (empty when none came; `error` says why) and the caller's context.
    virtual void didSendPTPCommand(const std::vector<uint8_t>& /*command*/, const std::vector<uint8_t>& /*inData*/,
                                   const std::vector<uint8_t>& /*response*/, const std::optional<ICError>& /*error*/,
                                   const std::any& /*contextInfo*/) {}
    virtual void didDownloadFile(const std::shared_ptr<ICCameraFile>&, const std::optional<ICError>&,
                                 const ICDownloadOptions&, const std::any& /*contextInfo*/) {}
};

class ICCameraDevice : public std::enable_shared_from_this<ICCameraDevice> {
public:
    ICCameraDevice(std::shared_ptr<ICDeviceConnection> connection, dispatch::Queue& callbackQueue);
    ~ICCameraDevice();
    ICCameraDevice(const ICCameraDevice&) = delete;
    ICCameraDevice& operator=(const ICCameraDevice&) = delete;

    const std::string& name() const { return name_; }
    uint16_t usbVendorID() const { return usbVendorID_; }
    uint16_t usbProductID() const { return usbProductID_; }
    bool hasOpenSession() const { return sessionOpen_; }

    void setDelegate(std::weak_ptr<ICCameraDeviceDelegate> delegate);
    std::shared_ptr<ICCameraDeviceDelegate> delegate() const;

    // Opens the camera's interface and a PTP session: didOpenSessionWithError.
    void requestOpenSession();
    // Closes the session and the interface: didCloseSessionWithError.
    void requestCloseSession();
    // Nothing to switch on over PTP: new objects are always reported while a session is open.
    void requestEnableTethering();
    // InitiateCapture; a camera that refuses is reported through didEncounterError.
    void requestTakePicture();
    // One operation: the command container (12 + 4 x n bytes, as PTPRequest::commandBuffer
    // builds it; the transaction ID is filled in here) and the data phase out, if any.
    void requestSendPTPCommand(std::vector<uint8_t> command, std::vector<uint8_t> outData,
                               std::weak_ptr<ICCameraDeviceDelegate> sendCommandDelegate, std::any contextInfo);
    // Downloads the file into the options' folder: didDownloadFile.
    void requestDownloadFile(std::shared_ptr<ICCameraFile> file, ICDownloadOptions options,
                             std::weak_ptr<ICCameraDeviceDelegate> downloadDelegate, std::any contextInfo);

    // For the browser: the connection this device stands for, and its departure. `then` runs
    // on the I/O thread after didRemoveDevice has been queued.
    const std::shared_ptr<ICDeviceConnection>& connection() const { return connection_; }
    void handleRemoval(std::function<void()> then);

private:
    struct Transaction;
    Transaction transact(uint16_t operationCode, std::vector<uint32_t> parameters, std::vector<uint8_t> outData = {});
    Transaction transactContainer(const std::vector<uint8_t>& command, const std::vector<uint8_t>& outData);
    void post(std::function<void(ICCameraDeviceDelegate&, const std::shared_ptr<ICCameraDevice>&)> call,
              std::optional<std::weak_ptr<ICCameraDeviceDelegate>> to = std::nullopt);
    void openOnIO();
    void closeOnIO();
    void startEvents();
    void stopEvents();
    void eventLoop();
    void announceObject(uint32_t handle);
    void noticeObjectsIn(uint16_t operationCode, const std::vector<uint8_t>& inData);
    void downloadOnIO(const std::shared_ptr<ICCameraFile>& file, ICDownloadOptions options,
                      std::weak_ptr<ICCameraDeviceDelegate> to, std::any contextInfo);

    const std::shared_ptr<ICDeviceConnection> connection_;
    dispatch::Queue& callbackQueue_;
    const std::string name_;
    const uint16_t usbVendorID_;
    const uint16_t usbProductID_;

    mutable std::mutex mutex_; // delegate_, port_ (its pointer)
    std::weak_ptr<ICCameraDeviceDelegate> delegate_;
    std::unique_ptr<PTPPort> port_;

    // I/O thread only.
    std::unique_ptr<PTPTransport> transport_;
    std::set<uint32_t> announcedObjects_;
    std::thread eventThread_;

    std::atomic<bool> sessionOpen_{false};
    std::atomic<bool> removed_{false};
    std::atomic<bool> stopEvents_{false};
    // Declared last: destroyed first, running what is queued while the members above live.
    std::unique_ptr<dispatch::SerialQueue> io_;
};

} // namespace zeta::platform
