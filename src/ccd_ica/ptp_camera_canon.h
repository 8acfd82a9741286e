#pragma once
// Canon EOS cameras: remote and event mode, properties and new files through the GetEvent
// stream, remote release with bulb and mirror lock-up, Canon's names and labels.
// Live view asks for one viewfinder frame at a time, each 100 ms after the last; the lens moves
// by single DriveLens steps 100 ms apart, in a live view of its own when none is running.
//
// Threads: as PTPCamera; the live-view and lens flags are the run loop's. The event state
// (custom-function groups, AE mode, files waiting for their download) is shared by the run loop
// and the driver's threads, so it is locked.

#include "ccd_ica/canon_events.h"
#include "ccd_ica/canon_labels.h"
#include "ccd_ica/ptp_camera.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

class PTPCanonRequest : public PTPRequest {
public:
    const PTPNameTable& operationNames() const override { return canonOperationNames(); }
};
class PTPCanonResponse : public PTPResponse {
public:
    const PTPNameTable& responseNames() const override { return canonResponseNames(); }
};
class PTPCanonEvent : public PTPEvent {
public:
    const PTPNameTable& eventNames() const override { return canonEventNames(); }
};
class PTPCanonProperty : public PTPProperty {
public:
    using PTPProperty::PTPProperty;
    const PTPNameTable& propertyNames() const override { return canonPropertyNames(); }
};
class PTPCanonDeviceInfo : public PTPDeviceInfo {
public:
    std::string debug() const override {
        return listing(canonOperationNames(), canonEventNames(), canonPropertyNames(), false, false);
    }
};

class PTPCanonCamera : public PTPCamera {
public:
    uint16_t extension() const override { return PTPVendorExtensionCanon; }
    const PTPClasses& classes() const override;

    void checkForEvent() override { sendPTPRequest(PTPRequestCodeCanonGetEvent); }
    void processConnect() override;
    void processRequest(const std::shared_ptr<PTPRequest>& request, const std::shared_ptr<PTPResponse>& response,
                        const std::vector<uint8_t>& data) override;
    void setProperty(uint16_t code, const std::string& value) override;
    void requestEnableTethering() override {}
    void requestCloseSession() override;
    void lock() override { sendPTPRequest(PTPRequestCodeCanonSetUILock); }
    void unlock() override { sendPTPRequest(PTPRequestCodeCanonResetUILock); }
    double startExposure() override;
    void stopExposure() override;
    void startAutofocus() override { sendPTPRequest(PTPRequestCodeCanonDoAf); }
    void stopAutofocus() override { sendPTPRequest(PTPRequestCodeCanonAfCancel); }
    void startPreview() override;
    void stopPreview() override;
    void getPreviewImage() override;
    void setZoomPreview(bool flag) override;
    void focus(int32_t steps) override;
    void processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error) override;
    void didRemoveDevice(const Device& device) override;

protected:
    PTPCanonCamera(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop);
    friend class PTPCamera;

private:
    void openingAfterDeviceInfoEx(const std::vector<uint8_t>& data);
    void processEvents(const std::vector<uint8_t>& data);
    void report(const std::shared_ptr<PTPProperty>& property);
    void download(const std::shared_ptr<PTPRequest>& request, const std::shared_ptr<PTPResponse>& response,
                  const std::vector<uint8_t>& data);
    void after(std::chrono::milliseconds delay, std::function<void(PTPCanonCamera&)> step) {
        PTPCamera::after<PTPCanonCamera>(delay, std::move(step));
    }
    void switchViewfinderOn();
    void viewfinderOutputChanged(int64_t value);
    void onViewfinderData(const PTPResponse& response, const std::vector<uint8_t>& data);
    void onDriveLens(const PTPResponse& response);
    void driveLensStep();
    void finishLensDrive();
    void failFocus(const std::string& message);
    bool liveViewWanted() const { return inPreview_ || startPreview_ || tempLiveView_; }
    bool bulb() const { return currentShutterSpeed_ == 0x0C || currentMode() == 4; }
    int32_t currentMode() const;

    mutable std::mutex eventsMutex_;
    CanonEventState events_;
    // Files announced and not yet downloaded, by handle: each keeps its own name, so a RAW and
    // a JPEG announced in one answer never trade names.
    std::map<uint32_t, std::string> pendingFiles_;
    std::atomic<int32_t> currentShutterSpeed_{0};

    bool startPreview_ = false;   // live view asked for; the first frame waits for the viewfinder
    bool tempLiveView_ = false;   // live view only for a lens drive
    bool inPreview_ = false;      // frames are being fetched
    bool frameRequested_ = false; // one frame request scheduled or in flight
    int32_t focusSteps_ = 0;      // steps still to drive after the one in flight
    bool lensDriving_ = false;    // from the first step until the drive is reported done or failed
};
