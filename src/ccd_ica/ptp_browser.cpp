#include "ccd_ica/ptp_browser.h"

#include "ccd_ica/ptp_camera_canon.h"
#include "ccd_ica/ptp_camera_nikon.h"
#include "ccd_ica/ptp_camera_sony.h"

#include <algorithm>
#include <array>

namespace {

template <class Camera>
std::shared_ptr<PTPCamera> make(PTPCamera::Device device, std::shared_ptr<PTPDelegateProtocol> delegate,
                                dispatch::Queue& runLoop) {
    return PTPCamera::create<Camera>(std::move(device), std::move(delegate), runLoop);
}

// Vendor classes by USB vendor id, tested in order; each vendor family adds its row here.
// Any other vendor gets the generic camera.
constexpr std::array<PTPCameraClass, 3> kCameraClasses{{
    {0x04A9, make<PTPCanonCamera>},
    {0x04B0, make<PTPNikonCamera>},
    {0x054C, make<PTPSonyCamera>},
}};

} // namespace

PTPCameraFactory ptpCameraFactory(uint16_t usbVendorID) {
    for (const PTPCameraClass& row : kCameraClasses) {
        if (row.usbVendorID == usbVendorID) return row.make;
    }
    return make<PTPCamera>;
}

class PTPBrowser::Adapter final : public zeta::platform::ICDeviceBrowserDelegate {
public:
    explicit Adapter(PTPBrowser& browser) : browser(browser) {}
    void didAddDevice(zeta::platform::ICDeviceBrowser&, const std::shared_ptr<zeta::platform::ICCameraDevice>& device,
                      bool) override {
        browser.deviceAdded(device);
    }
    void didRemoveDevice(zeta::platform::ICDeviceBrowser&,
                         const std::shared_ptr<zeta::platform::ICCameraDevice>& device, bool) override {
        browser.deviceRemoved(device);
    }
    PTPBrowser& browser;
};

PTPBrowser::PTPBrowser(std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop,
                       std::vector<std::shared_ptr<zeta::platform::ICDeviceSource>> sources)
    : delegate_(std::move(delegate)), runLoop_(runLoop), adapter_(std::make_shared<Adapter>(*this)) {
    icBrowser_ = std::make_unique<zeta::platform::ICDeviceBrowser>(runLoop_, std::move(sources));
    icBrowser_->setBrowsedDeviceTypeMask(zeta::platform::ICDeviceTypeMaskCamera |
                                         zeta::platform::ICDeviceLocationTypeMaskLocal);
    icBrowser_->setDelegate(adapter_);
}

PTPBrowser::~PTPBrowser() {
    icBrowser_.reset();
}

void PTPBrowser::start() {
    icBrowser_->start();
}

void PTPBrowser::stop() {
    icBrowser_->stop();
}

void PTPBrowser::deviceAdded(const std::shared_ptr<zeta::platform::ICCameraDevice>& device) {
    auto camera = ptpCameraFactory(device->usbVendorID())(device, delegate_, runLoop_);
    cameras_.push_back(camera);
    delegate_->cameraAdded(camera);
}

void PTPBrowser::deviceRemoved(const std::shared_ptr<zeta::platform::ICCameraDevice>& device) {
    const auto found = std::find_if(cameras_.begin(), cameras_.end(),
                                    [&](const auto& camera) { return camera->icCamera() == device; });
    if (found != cameras_.end()) cameras_.erase(found);
}
