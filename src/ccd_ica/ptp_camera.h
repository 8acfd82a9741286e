#pragma once
// The driver's object for one PTP camera: opens and closes the session, sends PTP operations
// through the camera framework's pass-through, reads the device information and the
// description of every property, turns each description into a report for its delegate,
// receives events, downloads new image files and hands their bytes over.
//
// PTPCamera is the base of the vendor cameras: they override the hooks (the virtual members
// below) and keep the transport, session, download and reporting machinery. A vendor class
// keeps its constructor protected, names `friend class PTPCamera;` so that create<T>() can
// make it, and gets a row in the browser's table of camera classes (ptp_browser.cpp).
//
// Threads: a camera lives on one run loop, the callback queue of the device browser that found
// it (the driver's run loop). Every framework callback, every timer and every report to the
// delegate runs there, and every operation of the camera must be called there too: the
// driver hops requests that arrive on the bus's threads onto the run loop before it calls the
// camera. Nothing here blocks the run loop: a step that must wait for the camera (a retry, the
// next live-view frame, the next lens step, a value that has to be confirmed) is scheduled
// on the run loop (dispatch::after, RunLoopTimer) or follows from a completion, never slept
// for. The only members safe from any thread are info(), userData() and the option flags.

#include "ccd_ica/ptp_classes.h"
#include "ccd_ica/run_loop_timer.h"
#include "platform/camera/ic_camera_device.h"
#include "platform/dispatch.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class PTPCamera;

// A camera's whole outward interface. Every report runs on the camera's run loop.
class PTPDelegateProtocol {
public:
    using Camera = std::shared_ptr<PTPCamera>;
    virtual ~PTPDelegateProtocol() = default;

    // The browser has made a camera object for a new device.
    virtual void cameraAdded(const Camera& camera) = 0;
    // The session is open, every property description has been asked for, the storage IDs answered.
    virtual void cameraConnected(const Camera& camera) = 0;
    // The session could not be opened: no or a failed answer to an operation of the opening
    // sequence. The camera has closed the session again; no cameraDisconnected follows.
    virtual void cameraConnectionFailed(const Camera& camera, const std::string& message) = 0;
    // A new image file (or live-view frame) has been downloaded.
    virtual void cameraExposureDone(const Camera& camera, const std::vector<uint8_t>& data,
                                    const std::string& filename) = 0;
    // A capture or a download failed; no message means none was given.
    virtual void cameraExposureFailed(const Camera& camera, const std::optional<std::string>& message) = 0;
    // A property with a list of allowed values (values and labels are texts, in the same order).
    virtual void cameraPropertyChanged(const Camera& camera, uint16_t code, const std::string& value,
                                       const std::vector<std::string>& values, const std::vector<std::string>& labels,
                                       bool readOnly) = 0;
    // A numeric property; each value is read as a 32-bit integer, a null step as 0.
    virtual void cameraPropertyChanged(const Camera& camera, uint16_t code, const PTPValue& value, const PTPValue& min,
                                       const PTPValue& max, const PTPValue& step, bool readOnly) = 0;
    // A text property.
    virtual void cameraPropertyChanged(const Camera& camera, uint16_t code, const std::string& value,
                                       bool readOnly) = 0;
    // Only the permission of a known property changed.
    virtual void cameraPropertyChanged(const Camera& camera, uint16_t code, bool readOnly) = 0;
    // A setting could not be made or read back (not described, unsupported datatype, refused,
    // or no answer).
    virtual void cameraPropertyFailed(const Camera& camera, uint16_t code, const std::string& message) = 0;
    virtual void cameraDisconnected(const Camera& camera) = 0;
    // The device has gone; nothing about the camera is reported after this.
    virtual void cameraRemoved(const Camera& camera) = 0;
    virtual void cameraCanExposure(const Camera& camera) = 0;
    virtual void cameraCanFocus(const Camera& camera) = 0;
    virtual void cameraCanPreview(const Camera& camera) = 0;
    virtual void cameraFocusDone(const Camera& camera) = 0;
    virtual void cameraFocusFailed(const Camera& camera, const std::optional<std::string>& message) = 0;
    // The frame of the next image; a width or height of 0 or less means the full sensor.
    virtual void cameraFrame(const Camera& camera, int32_t left, int32_t top, int32_t width, int32_t height) = 0;
    // One line for the log, one for the debug log (never used as a format).
    virtual void log(const std::string& text) = 0;
    virtual void debug(const std::string& text) = 0;
};

class PTPCamera : public zeta::platform::ICCameraDeviceDelegate, public std::enable_shared_from_this<PTPCamera> {
public:
    using Device = std::shared_ptr<zeta::platform::ICCameraDevice>;

    // Makes a camera of class T and makes it the device's delegate.
    template <class T = PTPCamera>
    static std::shared_ptr<T> create(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate,
                                     dispatch::Queue& runLoop) {
        std::shared_ptr<T> camera(new T(std::move(icCamera), std::move(delegate), runLoop));
        camera->icCamera()->setDelegate(std::static_pointer_cast<zeta::platform::ICCameraDeviceDelegate>(camera));
        return camera;
    }
    ~PTPCamera() override;
    PTPCamera(const PTPCamera&) = delete;
    PTPCamera& operator=(const PTPCamera&) = delete;

    const Device& icCamera() const { return icCamera_; }
    const std::shared_ptr<PTPDelegateProtocol>& delegate() const { return delegate_; }
    dispatch::Queue& runLoop() const { return runLoop_; }

    // The device information of the open session, with every property description received.
    std::shared_ptr<PTPDeviceInfo> info() const;
    void setInfo(std::shared_ptr<PTPDeviceInfo> info);
    // Free for the owner (the driver keeps its device record here).
    void* userData() const { return userData_; }
    void setUserData(void* userData) { userData_ = userData; }

    bool avoidAF() const { return avoidAF_; }
    void setAvoidAF(bool flag) { avoidAF_ = flag; }
    bool useMirrorLockup() const { return useMirrorLockup_; }
    void setUseMirrorLockup(bool flag) { useMirrorLockup_ = flag; }
    bool deleteDownloadedImage() const { return deleteDownloadedImage_; }
    void setDeleteDownloadedImage(bool flag) { deleteDownloadedImage_ = flag; }
    bool zoomPreview() const { return zoomPreview_; }
    virtual void setZoomPreview(bool flag) { zoomPreview_ = flag; }

    // Sensor geometry; 0 unless a vendor class knows it.
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    float pixelSize() const { return pixelSize_; }

    // --- hooks ---
    virtual std::string name() const;
    // The key of this camera's rows in the driver's property map: 0 generic, 10, 11, 17 vendors.
    virtual uint16_t extension() const { return 0; }
    // Request, response, event, property and device-information classes of the family.
    virtual const PTPClasses& classes() const { return ptpGenericClasses(); }

    virtual void requestOpenSession();
    virtual void requestCloseSession();
    virtual void requestEnableTethering();
    // Called by the 0.5 s event timer.
    virtual void checkForEvent() {}
    virtual void getPreviewImage() {}
    virtual void processEvent(const std::shared_ptr<PTPEvent>& event);
    virtual void processPropertyDescription(const std::shared_ptr<PTPProperty>& property);
    virtual void processConnect();
    // A transaction that came back with a response (`data` empty when no data phase came in).
    virtual void processRequest(const std::shared_ptr<PTPRequest>& request,
                                const std::shared_ptr<PTPResponse>& response, const std::vector<uint8_t>& data);
    // A transaction that came back without a response (lost, timed out, the camera gone).
    virtual void processRequestFailure(const std::shared_ptr<PTPRequest>& request, const std::string& error);
    // Sets the property to the value (its decimal digits for an integer, or its text).
    virtual void setProperty(uint16_t code, const std::string& value);
    virtual void lock() {}
    virtual void unlock() {}
    virtual void startPreview() {}
    virtual void stopPreview() {}
    // Returns the seconds the caller adds to the requested exposure time before timing it.
    virtual double startExposure();
    virtual void stopExposure() {}
    virtual void startAutofocus() {}
    virtual void stopAutofocus() {}
    // Drives the lens by that many steps; the sign gives the direction.
    virtual void focus(int32_t steps) { (void)steps; }

    // --- used by vendor classes and the driver ---
    void sendPTPRequest(uint16_t operationCode);
    void sendPTPRequest(uint16_t operationCode, uint32_t parameter1);
    void sendPTPRequest(uint16_t operationCode, uint32_t parameter1, uint32_t parameter2);
    void sendPTPRequest(uint16_t operationCode, uint32_t parameter1, uint32_t parameter2, uint32_t parameter3);
    void sendPTPRequest(uint16_t operationCode, std::vector<uint8_t> data);
    void sendPTPRequest(uint16_t operationCode, uint32_t parameter1, std::vector<uint8_t> data);

    bool operationIsSupported(uint16_t code) const;
    bool propertyIsSupported(uint16_t code) const;

    // Reports a list whose labels come from the map (the camera's allowed values in its order).
    void mapValueList(const std::shared_ptr<PTPProperty>& property, const std::map<int64_t, std::string>& map);
    // Reports a list of the map's keys in ascending order with their labels.
    void mapValueInterval(const std::shared_ptr<PTPProperty>& property, const std::map<int64_t, std::string>& map);
    // The same with the value text to select in place of the property's own.
    void mapValueInterval(const std::shared_ptr<PTPProperty>& property, const std::map<int64_t, std::string>& map,
                          const std::string& value);

    // Where downloads land: a folder of this camera's own inside the temporary folder, so that
    // two cameras never write over each other's files of the same name.
    const std::filesystem::path& downloadFolder() const { return downloadFolder_; }

    // --- framework callbacks ---
    void didOpenSessionWithError(const Device& device, const std::optional<zeta::platform::ICError>& error) override;
    void didCloseSessionWithError(const Device& device, const std::optional<zeta::platform::ICError>& error) override;
    void didRemoveDevice(const Device& device) override;
    void didEncounterError(const Device& device, const zeta::platform::ICError& error) override;
    void didAddItem(const Device& device, const std::shared_ptr<zeta::platform::ICCameraItem>& item) override;
    void didReceivePTPEvent(const Device& device, const std::vector<uint8_t>& container) override;
    void didSendPTPCommand(const std::vector<uint8_t>& command, const std::vector<uint8_t>& inData,
                           const std::vector<uint8_t>& response, const std::optional<zeta::platform::ICError>& error,
                           const std::any& contextInfo) override;
    void didDownloadFile(const std::shared_ptr<zeta::platform::ICCameraFile>& file,
                         const std::optional<zeta::platform::ICError>& error,
                         const zeta::platform::ICDownloadOptions& options, const std::any& contextInfo) override;

protected:
    PTPCamera(Device icCamera, std::shared_ptr<PTPDelegateProtocol> delegate, dispatch::Queue& runLoop);

    std::shared_ptr<PTPCamera> self() { return shared_from_this(); }
    // The opening sequence stops: the session is closed again and the delegate told why.
    void failConnection(const std::string& message);
    // The opening's first answer: the device information, kept; without it the opening fails
    // with the reason and this gives null.
    std::shared_ptr<PTPDeviceInfo> acceptDeviceInfo(const PTPRequest& request, const PTPResponse& response,
                                                    const std::vector<uint8_t>& data);
    // Asks for the description of every property the camera lists, or of those `wanted` takes.
    void describeProperties(const std::function<bool(uint16_t code)>& wanted = nullptr);
    // Runs `step` on the run loop `delay` from now, unless the camera is gone by then.
    template <class Camera>
    void after(std::chrono::milliseconds delay, std::function<void(Camera&)> step) {
        std::weak_ptr<PTPCamera> weak = weak_from_this();
        dispatch::after(delay, runLoop_, [weak, step = std::move(step)] {
            if (const auto camera = weak.lock()) step(static_cast<Camera&>(*camera));
        });
    }
    // Starts (or restarts) the 0.5 s event timer.
    void startEventTimer();
    void stopEventTimer();
    // The text for a response in messages: "0x%04x = <response log text>". The log text
    // carries the response's parameters: a camera that answers OK may refuse by one of them.
    static std::string responseText(const PTPResponse& response);
    // The failure of an operation the camera refused: "<operation> failed (<response text>)".
    static std::string refusal(const PTPRequest& request, const PTPResponse& response);

    int32_t width_ = 0;
    int32_t height_ = 0;
    float pixelSize_ = 0;
    bool objectAdded_ = false;

private:
    void send(std::shared_ptr<PTPRequest> request, std::vector<uint8_t> data);
    void reportExposureTime(const std::shared_ptr<PTPProperty>& property);

    const Device icCamera_;
    const std::shared_ptr<PTPDelegateProtocol> delegate_;
    dispatch::Queue& runLoop_;

    mutable std::mutex infoMutex_;
    std::shared_ptr<PTPDeviceInfo> info_;
    std::atomic<void*> userData_{nullptr};
    std::atomic<bool> avoidAF_{false};
    std::atomic<bool> useMirrorLockup_{false};
    std::atomic<bool> deleteDownloadedImage_{false};
    std::atomic<bool> zoomPreview_{false};

    std::shared_ptr<RunLoopTimer> ptpEventTimer_;
    std::filesystem::path downloadFolder_;
    // A picture asked of the framework that has not arrived: its failure is the capture's.
    bool captureRequested_ = false;
    // The session is being closed after a failed opening: its close is not a disconnection.
    bool closingAfterFailure_ = false;
    bool opening_ = false;
    std::optional<std::string> openError_;
};
