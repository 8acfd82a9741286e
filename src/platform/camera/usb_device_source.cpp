#include "platform/camera/usb_device_source.h"

#include <chrono>
#include <cstdio>
#include <libusb.h>
#include <optional>
#include <set>
#include <vector>

namespace zeta::platform {

struct UsbDeviceSource::Context {
    libusb_context* context = nullptr;
    Context() {
        if (libusb_init(&context) != 0) context = nullptr;
    }
    ~Context() {
        if (context) libusb_exit(context);
    }
};

namespace {

constexpr uint8_t kStillImageClass = 6, kStillImageSubclass = 1, kStillImageProtocol = 1;
constexpr unsigned kControlTimeoutMs = 1000;

struct Interface {
    int number = -1;
    uint8_t bulkIn = 0, bulkOut = 0, interruptIn = 0;
    uint16_t maxPacketSize = 512;
};

// The Still Image interface of the device's active configuration, if it has a usable one.
std::optional<Interface> findInterface(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0) {
        if (libusb_get_config_descriptor(device, 0, &config) != 0) return std::nullopt;
    }
    std::optional<Interface> found;
    for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
        for (int a = 0; a < config->interface[i].num_altsetting && !found; ++a) {
            const libusb_interface_descriptor& d = config->interface[i].altsetting[a];
            if (d.bInterfaceClass != kStillImageClass || d.bInterfaceSubClass != kStillImageSubclass ||
                d.bInterfaceProtocol != kStillImageProtocol) {
                continue;
            }
            Interface candidate;
            candidate.number = d.bInterfaceNumber;
            for (int e = 0; e < d.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = d.endpoint[e];
                const int type = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
                const bool in = (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
                if (type == LIBUSB_TRANSFER_TYPE_BULK && in) {
                    candidate.bulkIn = ep.bEndpointAddress;
                    candidate.maxPacketSize = ep.wMaxPacketSize & 0x7FF;
                } else if (type == LIBUSB_TRANSFER_TYPE_BULK) {
                    candidate.bulkOut = ep.bEndpointAddress;
                } else if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT && in) {
                    candidate.interruptIn = ep.bEndpointAddress;
                }
            }
            if (candidate.bulkIn && candidate.bulkOut && candidate.interruptIn && candidate.maxPacketSize)
                found = candidate;
        }
    }
    libusb_free_config_descriptor(config);
    return found;
}

PTPPortStatus statusOf(int result) {
    switch (result) {
    case LIBUSB_SUCCESS:
        return PTPPortStatus::ok;
    case LIBUSB_ERROR_TIMEOUT:
        return PTPPortStatus::timeout;
    case LIBUSB_ERROR_NO_DEVICE:
        return PTPPortStatus::removed;
    default:
        return PTPPortStatus::error;
    }
}

class UsbPort final : public PTPPort {
public:
    UsbPort(std::shared_ptr<void> context, libusb_device_handle* handle, Interface interface)
        : context_(std::move(context)), handle_(handle), interface_(interface) {}
    ~UsbPort() override {
        libusb_release_interface(handle_, interface_.number);
        libusb_close(handle_);
    }

    std::size_t maxPacketSize() const override { return interface_.maxPacketSize; }
    std::chrono::milliseconds responseTimeout() const override { return std::chrono::seconds(20); }

    PTPPortStatus bulkOut(std::span<const uint8_t> data, std::chrono::milliseconds timeout) override {
        if (closed_) return PTPPortStatus::removed;
        int transferred = 0;
        const int result =
            libusb_bulk_transfer(handle_, interface_.bulkOut, const_cast<uint8_t*>(data.data()),
                                 static_cast<int>(data.size()), &transferred, static_cast<unsigned>(timeout.count()));
        if (result == LIBUSB_ERROR_PIPE) libusb_clear_halt(handle_, interface_.bulkOut);
        if (result == LIBUSB_SUCCESS && static_cast<std::size_t>(transferred) != data.size())
            return PTPPortStatus::error;
        return statusOf(result);
    }

    PTPPortStatus bulkIn(std::span<uint8_t> buffer, std::size_t& received, std::chrono::milliseconds timeout) override {
        return read(interface_.bulkIn, false, buffer, received, timeout);
    }

    PTPPortStatus interruptIn(std::span<uint8_t> buffer, std::size_t& received,
                              std::chrono::milliseconds timeout) override {
        return read(interface_.interruptIn, true, buffer, received, timeout);
    }

    PTPPortStatus cancelRequest(uint32_t transactionID) override {
        uint8_t data[6] = {0x01,
                           0x40,
                           static_cast<uint8_t>(transactionID),
                           static_cast<uint8_t>(transactionID >> 8),
                           static_cast<uint8_t>(transactionID >> 16),
                           static_cast<uint8_t>(transactionID >> 24)};
        return control(0x21, 0x64, data, sizeof data);
    }

    PTPPortStatus deviceReset() override { return control(0x21, 0x66, nullptr, 0); }

    PTPPortStatus getDeviceStatus(PTPPortDeviceStatus& status) override {
        uint8_t data[32] = {};
        const int result = libusb_control_transfer(handle_, 0xA1, 0x67, 0, static_cast<uint16_t>(interface_.number),
                                                   data, sizeof data, kControlTimeoutMs);
        if (result < 0) return statusOf(result);
        if (result < 4) return PTPPortStatus::error;
        status.code = static_cast<uint16_t>(data[2] | (data[3] << 8));
        return PTPPortStatus::ok;
    }

    // Calls blocked in a transfer return at their timeout; libusb cannot cut a synchronous
    // transfer short, and an unplugged camera ends them at once anyway.
    void close() override { closed_ = true; }

private:
    PTPPortStatus read(uint8_t endpoint, bool interrupt, std::span<uint8_t> buffer, std::size_t& received,
                       std::chrono::milliseconds timeout) {
        received = 0;
        if (closed_) return PTPPortStatus::removed;
        int transferred = 0;
        const auto ms = static_cast<unsigned>(timeout.count());
        const int result = interrupt ? libusb_interrupt_transfer(handle_, endpoint, buffer.data(),
                                                                 static_cast<int>(buffer.size()), &transferred, ms)
                                     : libusb_bulk_transfer(handle_, endpoint, buffer.data(),
                                                            static_cast<int>(buffer.size()), &transferred, ms);
        received = static_cast<std::size_t>(std::max(transferred, 0));
        if (result == LIBUSB_ERROR_PIPE) libusb_clear_halt(handle_, endpoint);
        if (result == LIBUSB_ERROR_TIMEOUT && received > 0) return PTPPortStatus::ok;
        if (result == LIBUSB_ERROR_OVERFLOW) return PTPPortStatus::error;
        return statusOf(result);
    }

    PTPPortStatus control(uint8_t requestType, uint8_t request, uint8_t* data, uint16_t length) {
        if (closed_) return PTPPortStatus::removed;
        const int result =
            libusb_control_transfer(handle_, requestType, request, 0, static_cast<uint16_t>(interface_.number), data,
                                    length, kControlTimeoutMs);
        return result < 0 ? statusOf(result) : PTPPortStatus::ok;
    }

    std::shared_ptr<void> context_;
    libusb_device_handle* handle_;
    Interface interface_;
    std::atomic<bool> closed_{false};
};

class UsbConnection final : public ICDeviceConnection {
public:
    UsbConnection(std::shared_ptr<void> context, libusb_device* device, Interface interface, std::string name,
                  uint16_t vendor, uint16_t product)
        : context_(std::move(context)), device_(libusb_ref_device(device)), interface_(interface),
          name_(std::move(name)), vendor_(vendor), product_(product) {}
    ~UsbConnection() override { libusb_unref_device(device_); }

    std::string name() const override { return name_; }
    uint16_t usbVendorID() const override { return vendor_; }
    uint16_t usbProductID() const override { return product_; }

    std::unique_ptr<PTPPort> open(std::string& error) override {
        libusb_device_handle* handle = nullptr;
        if (int result = libusb_open(device_, &handle); result != 0) {
            error = std::string("Cannot open the camera: ") + libusb_strerror(static_cast<libusb_error>(result));
            return nullptr;
        }
        libusb_set_auto_detach_kernel_driver(handle, 1);
        if (int result = libusb_claim_interface(handle, interface_.number); result != 0) {
            error = std::string("Cannot claim the camera's interface: ") +
                    libusb_strerror(static_cast<libusb_error>(result));
            libusb_close(handle);
            return nullptr;
        }
        return std::make_unique<UsbPort>(context_, handle, interface_);
    }

private:
    std::shared_ptr<void> context_;
    libusb_device* device_;
    Interface interface_;
    std::string name_;
    uint16_t vendor_, product_;
};

std::string productName(libusb_device* device, const libusb_device_descriptor& descriptor) {
    char fallback[40];
    std::snprintf(fallback, sizeof fallback, "PTP Camera %04x:%04x", descriptor.idVendor, descriptor.idProduct);
    if (!descriptor.iProduct) return fallback;
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0) return fallback;
    unsigned char text[256] = {};
    const int length = libusb_get_string_descriptor_ascii(handle, descriptor.iProduct, text, sizeof text - 1);
    libusb_close(handle);
    if (length <= 0) return fallback;
    return std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(length));
}

} // namespace

UsbDeviceSource::UsbDeviceSource() : context_(std::make_shared<Context>()) {
    if (!context_->context) context_.reset();
}

UsbDeviceSource::~UsbDeviceSource() {
    stop();
}

void UsbDeviceSource::start(Listener& listener) {
    if (!context_ || thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    scan(listener); // what is present now, before start() returns
    thread_ = std::thread([this, &listener] { run(listener); });
}

void UsbDeviceSource::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void UsbDeviceSource::run(Listener& listener) {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) {
        lock.unlock();
        scan(listener);
        lock.lock();
    }
}

void UsbDeviceSource::scan(Listener& listener) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_->context, &list);
    if (count < 0) return;
    std::shared_ptr<void> keepAlive = context_;
    std::set<uint32_t> seen;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        const uint32_t location = (uint32_t{libusb_get_bus_number(device)} << 8) | libusb_get_device_address(device);
        if (present_.count(location)) {
            seen.insert(location);
            continue;
        }
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0) continue;
        const auto interface = findInterface(device);
        if (!interface) continue;
        auto connection = std::make_shared<UsbConnection>(
            keepAlive, device, *interface, productName(device, descriptor), descriptor.idVendor, descriptor.idProduct);
        present_[location] = connection;
        seen.insert(location);
        listener.deviceAppeared(connection);
    }
    libusb_free_device_list(list, 1);
    for (auto it = present_.begin(); it != present_.end();) {
        if (seen.count(it->first)) {
            ++it;
            continue;
        }
        const auto gone = it->second;
        it = present_.erase(it);
        listener.deviceDisappeared(gone);
    }
}

} // namespace zeta::platform
