#pragma once
// Canon EOS cameras: remote and event mode, properties and new files through the GetEvent
// stream, remote release with bulb and mirror lock-up, Canon's names and labels.
//
// Threads: as PTPCamera. The event state (custom-function groups, AE mode, files waiting for
// their download) is shared by the run loop and the driver's threads, so it is locked.

#include "ccd_ica/canon_events.h"
#include "ccd_ica/canon_labels.h"
#include "ccd_ica/ptp_camera.h"

#include <atomic>
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

protected:
    PTPCanonCamera(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop);
    friend class PTPCamera;

private:
    void openingAfterDeviceInfoEx(const std::vector<uint8_t>& data);
    void processEvents(const std::vector<uint8_t>& data);
    void report(const std::shared_ptr<PTPProperty>& property);
    void download(const std::shared_ptr<PTPRequest>& request, const std::shared_ptr<PTPResponse>& response,
                  const std::vector<uint8_t>& data);
    bool bulb() const { return currentShutterSpeed_ == 0x0C || currentMode() == 4; }
    int32_t currentMode() const;

    mutable std::mutex eventsMutex_;
    CanonEventState events_;
    // Files announced and not yet downloaded, by handle: each keeps its own name, so a RAW and
    // a JPEG announced in one answer never trade names.
    std::map<uint32_t, std::string> pendingFiles_;
    std::atomic<int32_t> currentShutterSpeed_{0};
};
