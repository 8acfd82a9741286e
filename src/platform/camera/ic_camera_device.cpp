#include "platform/camera/ic_camera_device.h"

#include "platform/bundle.h"
#include "platform/camera/ptp_names.h"
#include "platform/camera/ptp_transport.h"
#include "platform/camera/ptp_usb_framing.h"

#include <QString>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace zeta::platform {
namespace {

constexpr uint32_t kSessionID = 1;

// Vendor operations whose answer is a list of polled events, {u16 count, {u16 code, u32
// parameter} x count}: new objects are announced from them as from pushed events.
struct PolledEventOperation {
    uint16_t usbVendorID;
    uint16_t operationCode;
};
constexpr PolledEventOperation kPolledEventOperations[] = {
    {0x04B0, PTPRequestCodeNikonCheckEvent},
};

// An operation the camera answered with anything but OK.
ICError refused(uint16_t operationCode, uint16_t responseCode) {
    return ICError{responseCode, ptpOperationFailure(ptpOperationName(operationCode), responseCode)};
}

uint16_t responseCode(const std::vector<uint8_t>& response) {
    return response.size() >= 8 ? static_cast<uint16_t>(response[6] | (response[7] << 8)) : 0;
}

// A name from the camera, made safe to use as a file name in a folder of ours.
std::string baseName(std::string name, uint32_t handle) {
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    std::string clean;
    for (char c : name)
        clean += static_cast<unsigned char>(c) < 0x20 ? '_' : c;
    if (clean.empty() || clean == "." || clean == "..") {
        char fallback[24];
        std::snprintf(fallback, sizeof fallback, "IMG_%08X", handle);
        return fallback;
    }
    return clean;
}

struct ObjectInfo {
    uint16_t format = 0;
    uint64_t size = 0;
    std::string filename;
};

// The fields of an ObjectInfo dataset we use; none when the dataset is too short for them.
std::optional<ObjectInfo> parseObjectInfo(const std::vector<uint8_t>& data) {
    constexpr std::size_t kFilenameOffset = 52;
    if (data.size() < kFilenameOffset + 1) return std::nullopt;
    ObjectInfo info;
    info.format = static_cast<uint16_t>(data[4] | (data[5] << 8));
    info.size = data[8] | (data[9] << 8) | (data[10] << 16) | (static_cast<uint64_t>(data[11]) << 24);
    const std::size_t count = data[kFilenameOffset];
    if (data.size() < kFilenameOffset + 1 + 2 * count) return std::nullopt;
    std::u16string units;
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit =
            static_cast<char16_t>(data[kFilenameOffset + 1 + 2 * i] | (data[kFilenameOffset + 2 + 2 * i] << 8));
        if (unit == 0) break;
        units += unit;
    }
    info.filename = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toStdString();
    return info;
}

ICError transportFailure(const PTPTransactionResult& result) {
    return ICError{result.status == PTPPortStatus::removed ? ICError::deviceRemoved : ICError::transportError,
                   result.error};
}

} // namespace

struct ICCameraDevice::Transaction {
    PTPTransactionResult result;
    std::optional<ICError> error; // no response
    uint16_t code() const { return responseCode(result.response); }
};

ICCameraDevice::ICCameraDevice(std::shared_ptr<ICDeviceConnection> connection, dispatch::Queue& callbackQueue)
    : connection_(std::move(connection)), callbackQueue_(callbackQueue), name_(connection_->name()),
      usbVendorID_(connection_->usbVendorID()), usbProductID_(connection_->usbProductID()),
      io_(std::make_unique<dispatch::SerialQueue>("camera I/O " + name_)) {}

ICCameraDevice::~ICCameraDevice() {
    removed_ = true;
    stopEvents_ = true;
    {
        std::lock_guard lock(mutex_);
        if (port_) port_->close();
    }
    // What is queued fails fast now; the event thread is joined on the I/O thread, which
    // alone starts and stops it.
    io_->sync([this] {
        stopEvents();
        transport_.reset();
        std::lock_guard lock(mutex_);
        port_.reset();
    });
    io_.reset();
}

void ICCameraDevice::setDelegate(std::weak_ptr<ICCameraDeviceDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<ICCameraDeviceDelegate> ICCameraDevice::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void ICCameraDevice::post(std::function<void(ICCameraDeviceDelegate&, const std::shared_ptr<ICCameraDevice>&)> call,
                          std::optional<std::weak_ptr<ICCameraDeviceDelegate>> to) {
    std::weak_ptr<ICCameraDevice> self = weak_from_this();
    callbackQueue_.async([self, to = std::move(to), call = std::move(call)] {
        const auto device = self.lock();
        if (!device) return;
        const auto target = to ? to->lock() : device->delegate();
        if (target) call(*target, device);
    });
}

ICCameraDevice::Transaction ICCameraDevice::transactContainer(const std::vector<uint8_t>& command,
                                                              const std::vector<uint8_t>& outData) {
    Transaction t;
    if (removed_) {
        t.result.status = PTPPortStatus::removed;
        t.error = ICError{ICError::deviceRemoved, "The camera has been removed"};
        return t;
    }
    if (!transport_) {
        t.result.status = PTPPortStatus::error;
        t.error = ICError{ICError::notOpen, "The camera has no open session"};
        return t;
    }
    t.result = transport_->transact(command, outData);
    if (t.result.response.empty()) t.error = transportFailure(t.result);
    return t;
}

ICCameraDevice::Transaction ICCameraDevice::transact(uint16_t operationCode, std::vector<uint32_t> parameters,
                                                     std::vector<uint8_t> outData) {
    std::vector<uint8_t> payload;
    for (uint32_t p : parameters) {
        for (int i = 0; i < 4; ++i)
            payload.push_back(static_cast<uint8_t>(p >> (8 * i)));
    }
    return transactContainer(makeContainer(1, operationCode, 0, payload), outData);
}

void ICCameraDevice::requestOpenSession() {
    io_->async([this] { openOnIO(); });
}

void ICCameraDevice::openOnIO() {
    std::optional<ICError> error;
    if (sessionOpen_) {
        post([](ICCameraDeviceDelegate& d, const auto& device) { d.didOpenSessionWithError(device, std::nullopt); });
        return;
    }
    if (!transport_ && !removed_) {
        std::string why;
        std::unique_ptr<PTPPort> port = connection_->open(why);
        if (port) {
            std::lock_guard lock(mutex_);
            port_ = std::move(port);
            transport_ = std::make_unique<PTPTransport>(*port_);
        } else {
            error = ICError{ICError::notOpen, why.empty() ? "The camera cannot be opened" : why};
        }
    }
    // Pulled out before (or while) the session was asked for: there is no port to open it on.
    if (!error && !transport_) error = ICError{ICError::deviceRemoved, "The camera has been removed"};
    if (!error) {
        transport_->resetTransactionIDs();
        const Transaction t = transact(PTPRequestCodeOpenSession, {kSessionID});
        if (t.error) {
            error = t.error;
        } else if (t.code() != PTPResponseCodeOK && t.code() != PTPResponseCodeSessionAlreadyOpen) {
            error = refused(PTPRequestCodeOpenSession, t.code());
        } else {
            sessionOpen_ = true;
            announcedObjects_.clear();
            startEvents();
        }
    }
    post([error](ICCameraDeviceDelegate& d, const auto& device) { d.didOpenSessionWithError(device, error); });
}

void ICCameraDevice::requestCloseSession() {
    io_->async([this] { closeOnIO(); });
}

void ICCameraDevice::closeOnIO() {
    std::optional<ICError> error;
    if (sessionOpen_) {
        const Transaction t = transact(PTPRequestCodeCloseSession, {});
        if (t.error)
            error = t.error;
        else if (t.code() != PTPResponseCodeOK)
            error = refused(PTPRequestCodeCloseSession, t.code());
    }
    sessionOpen_ = false;
    stopEvents();
    transport_.reset();
    {
        std::lock_guard lock(mutex_);
        if (port_) port_->close();
        port_.reset();
    }
    post([error](ICCameraDeviceDelegate& d, const auto& device) { d.didCloseSessionWithError(device, error); });
}

void ICCameraDevice::requestEnableTethering() {}

void ICCameraDevice::requestTakePicture() {
    io_->async([this] {
        const Transaction t = transact(PTPRequestCodeInitiateCapture, {0, 0});
        std::optional<ICError> error = t.error;
        if (!error && t.code() != PTPResponseCodeOK) error = refused(PTPRequestCodeInitiateCapture, t.code());
        if (error)
            post([e = *error](ICCameraDeviceDelegate& d, const auto& device) { d.didEncounterError(device, e); });
    });
}

void ICCameraDevice::requestSendPTPCommand(std::vector<uint8_t> command, std::vector<uint8_t> outData,
                                           std::weak_ptr<ICCameraDeviceDelegate> sendCommandDelegate,
                                           std::any contextInfo) {
    io_->async([this, command = std::move(command), outData = std::move(outData), to = std::move(sendCommandDelegate),
                contextInfo = std::move(contextInfo)]() mutable {
        Transaction t = transactContainer(command, outData);
        const auto header = parseContainerHeader(command);
        if (header && !t.error && t.code() == PTPResponseCodeOK) noticeObjectsIn(header->code, t.result.dataIn);
        auto shared = std::make_shared<Transaction>(std::move(t));
        auto sharedCommand = std::make_shared<std::vector<uint8_t>>(std::move(command));
        post(
            [shared, sharedCommand, contextInfo = std::move(contextInfo)](ICCameraDeviceDelegate& d, const auto&) {
                d.didSendPTPCommand(*sharedCommand, shared->result.dataIn, shared->result.response, shared->error,
                                    contextInfo);
            },
            to);
    });
}

void ICCameraDevice::requestDownloadFile(std::shared_ptr<ICCameraFile> file, ICDownloadOptions options,
                                         std::weak_ptr<ICCameraDeviceDelegate> downloadDelegate, std::any contextInfo) {
    io_->async([this, file = std::move(file), options = std::move(options), to = std::move(downloadDelegate),
                contextInfo = std::move(contextInfo)]() mutable {
        downloadOnIO(file, std::move(options), std::move(to), std::move(contextInfo));
    });
}

void ICCameraDevice::downloadOnIO(const std::shared_ptr<ICCameraFile>& file, ICDownloadOptions options,
                                  std::weak_ptr<ICCameraDeviceDelegate> to, std::any contextInfo) {
    std::optional<ICError> error;
    if (!file) error = ICError{ICError::fileError, "No file to download"};
    Transaction t;
    if (!error) {
        t = transact(PTPRequestCodeGetObject, {file->objectHandle()});
        if (t.error)
            error = t.error;
        else if (t.code() != PTPResponseCodeOK)
            error = refused(PTPRequestCodeGetObject, t.code());
    }
    if (!error) {
        const std::filesystem::path folder = options.ICDownloadsDirectoryURL.value_or(temporaryDirectory());
        // The name is the camera's; only its base name ever reaches the file system.
        const std::string name = baseName(file->name(), file->objectHandle());
        std::filesystem::path target = folder / name;
        std::error_code ec;
        if (!options.ICOverwrite) {
            const std::filesystem::path stem = target.stem(), extension = target.extension();
            for (int n = 1; std::filesystem::exists(target, ec) && n < 10000; ++n) {
                target = folder / (stem.string() + "-" + std::to_string(n) + extension.string());
            }
        }
        // Written beside the target and renamed, so nobody sees half a file under its name.
        const std::filesystem::path partial = folder / ("." + target.filename().string() + ".part");
        {
            std::ofstream out(partial, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(t.result.dataIn.data()),
                      static_cast<std::streamsize>(t.result.dataIn.size()));
            out.close();
            if (!out) error = ICError{ICError::fileError, "Cannot write " + partial.string()};
        }
        if (!error) {
            std::filesystem::rename(partial, target, ec);
            if (ec) error = ICError{ICError::fileError, "Cannot write " + target.string() + ": " + ec.message()};
        }
        if (error) {
            std::filesystem::remove(partial, ec);
        } else {
            options.ICDownloadsDirectoryURL = folder;
            options.ICSavedFilename = target.filename().string();
            if (options.ICDeleteAfterSuccessfulDownload) transact(PTPRequestCodeDeleteObject, {file->objectHandle()});
        }
    }
    post([file, error, options = std::move(options), contextInfo = std::move(contextInfo)](
             ICCameraDeviceDelegate& d, const auto&) { d.didDownloadFile(file, error, options, contextInfo); },
         to);
}

void ICCameraDevice::announceObject(uint32_t handle) {
    if (!sessionOpen_ || !announcedObjects_.insert(handle).second) return;
    const Transaction t = transact(PTPRequestCodeGetObjectInfo, {handle});
    if (t.error || t.code() != PTPResponseCodeOK) return;
    const auto info = parseObjectInfo(t.result.dataIn);
    if (!info) return;
    std::shared_ptr<ICCameraItem> item;
    const std::string name = baseName(info->filename, handle);
    if (info->format == PTPObjectFormatAssociation)
        item = std::make_shared<ICCameraFolder>(name, handle, true);
    else
        item = std::make_shared<ICCameraFile>(name, handle, true, info->size, info->format);
    post([item](ICCameraDeviceDelegate& d, const auto& device) { d.didAddItem(device, item); });
}

void ICCameraDevice::noticeObjectsIn(uint16_t operationCode, const std::vector<uint8_t>& inData) {
    for (const auto& polled : kPolledEventOperations) {
        if (polled.usbVendorID != usbVendorID_ || polled.operationCode != operationCode || inData.size() < 2) continue;
        const std::size_t count = inData[0] | (inData[1] << 8);
        for (std::size_t i = 0; i < count && 2 + 6 * (i + 1) <= inData.size(); ++i) {
            const uint8_t* record = inData.data() + 2 + 6 * i;
            const uint16_t code = static_cast<uint16_t>(record[0] | (record[1] << 8));
            const uint32_t parameter =
                record[2] | (record[3] << 8) | (record[4] << 16) | (static_cast<uint32_t>(record[5]) << 24);
            if (code == PTPEventCodeObjectAdded) io_->async([this, parameter] { announceObject(parameter); });
        }
    }
}

void ICCameraDevice::startEvents() {
    stopEvents();
    stopEvents_ = false;
    eventThread_ = std::thread([this] { eventLoop(); });
}

void ICCameraDevice::stopEvents() {
    stopEvents_ = true;
    if (eventThread_.joinable()) eventThread_.join();
}

void ICCameraDevice::eventLoop() {
    PTPPort* port = nullptr;
    {
        std::lock_guard lock(mutex_);
        port = port_.get();
    }
    if (!port) return;
    std::vector<uint8_t> buffer(64);
    while (!stopEvents_) {
        std::size_t received = 0;
        const PTPPortStatus status = port->interruptIn(buffer, received, std::chrono::milliseconds(200));
        if (status == PTPPortStatus::removed || status == PTPPortStatus::error) return;
        if (status != PTPPortStatus::ok || received < PTPContainerHeaderSize) continue;
        std::vector<uint8_t> event(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(received));
        const auto header = parseContainerHeader(event);
        post([event](ICCameraDeviceDelegate& d, const auto& device) { d.didReceivePTPEvent(device, event); });
        if (header && header->type == PTPContainerTypeEvent && header->code == PTPEventCodeObjectAdded &&
            received >= 16) {
            const uint32_t handle =
                event[12] | (event[13] << 8) | (event[14] << 16) | (static_cast<uint32_t>(event[15]) << 24);
            io_->async([this, handle] { announceObject(handle); });
        }
    }
}

void ICCameraDevice::handleRemoval(std::function<void()> then) {
    removed_ = true;
    {
        std::lock_guard lock(mutex_);
        if (port_) port_->close();
    }
    io_->async([this, then = std::move(then)] {
        sessionOpen_ = false;
        stopEvents();
        transport_.reset();
        {
            std::lock_guard lock(mutex_);
            port_.reset();
        }
        post([](ICCameraDeviceDelegate& d, const auto& device) { d.didRemoveDevice(device); });
        if (then) then();
    });
}

} // namespace zeta::platform
