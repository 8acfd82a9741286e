#pragma once
// ImageController: the image window. Shows the frame on display (current), its statistics,
// histogram and stretch, zooms, reports the pixel under the cursor, selects and tracks a star
// and draws the focus-analysis panels (PSF graph, detail, drift, Bahtinov). Plain C++: the
// widgets implement ImageWindowView and forward the user's actions to the ...Action methods.
//
// Entry points for other windows:
// - Handing over a frame (camera window): on the thread that receives the frame,
//       if (imageController.tryLock()) {
//           auto image = std::make_shared<Image>(bytes, format);   // decoded off the main thread
//           dispatch::mainQueue().async([&, image] { imageController.setImage(image); imageController.unlock(); });
//       }
//   A frame arriving while the token is out is not shown. The controller itself never takes
//   or gives the token. Other callers (the batch browser loading a file) call setImage
//   directly, without the token.
// - setImage() may be called from any thread: off the main thread it runs on the main queue
//   and returns when the frame is shown.
// - The current frame (plate solver): current().
// - The selected star and its metrics (autofocus): selectedStar(), fwhmValue(), hfdValue(),
//   peakValue(): numbers as the fields show them, none while a field shows "--".
// - removeSelection() (camera window, when its camera changes).
//
// Everything else runs on the main thread.

#include "Common/base_controller.h"
#include "image_window/clickable_view_delegate.h"
#include "image_window/image_window_view.h"
#include "imaging/image.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Which control sent a black or white point action.
enum class StretchSender { Slider, Stepper };

class ImageController : public BaseController, public ClickableViewDelegate {
public:
    ImageController();
    ~ImageController() override;

    // Outlets, connected once at start-up. The view must outlive the controller's use of it.
    void setView(zeta::imaging::ImageWindowView* view) { view_ = view; }
    zeta::imaging::ImageWindowView* view() const { return view_; }
    void setCameraController(const zeta::imaging::CameraSensor* camera) { camera_ = camera; }
    // Runs on the main thread after each frame the setter showed, once the selected star was
    // looked for and measured on it (the focuser window's autofocus step).
    void setFrameShown(std::function<void()> shown) { frameShown_ = std::move(shown); }
    // Runs on the main thread whenever the setter replaced current (a frame or none).
    void setImageChanged(std::function<void()> changed) { imageChanged_ = std::move(changed); }

    // Once, after the outlets are connected.
    virtual void awakeFromNib();

    // The image setter: shows the frame (none disables the zoom buttons and leaves the old
    // picture on screen). A frame of another size clears the selection. A frame that did not
    // decode changes nothing on screen; the message log says which (source names it, as
    // "frame from 'CCD'") and why.
    void setImage(std::shared_ptr<Image> image, const std::string& source = "frame");
    std::shared_ptr<Image> image() const { return current_; }
    // The frame on display; setCurrent() replaces it without updating anything.
    std::shared_ptr<Image> current() const { return current_; }
    void setCurrent(std::shared_ptr<Image> image) { current_ = std::move(image); }
    // No colour reconstruction: always 255.
    std::int64_t debayer() const { return 255; }
    void setDebayer(std::int64_t) {}

    // The display update for current.
    void refreshImage();

    double zoom() const { return zoom_; }
    bool zoomToFit() const { return zoomToFit_; }
    bool automaticStretch() const { return automaticStretch_; }
    bool enableMarkers() const { return enableMarkers_; }
    void setEnableMarkers(bool enable) { enableMarkers_ = enable; }
    // The user's switch for star and rectangle selection: kept as "enableMarkers" so that the
    // product window starts the next launch as it was left. Switching off keeps the selection.
    void enableMarkersAction(bool enable);

    const std::optional<StarSample>& selectedStar() const { return selectedStar_; }
    std::optional<zeta::imaging::Point> pointMarker() const { return pointMarker_; }
    std::optional<zeta::imaging::Rect> frameMarker() const { return frameMarker_; }

    // The metrics as their fields show them (FWHM and HFD rounded to two decimals); none
    // while the field shows "--" or before a star was measured.
    std::optional<double> fwhmValue() const { return fwhmValue_; }
    std::optional<double> hfdValue() const { return hfdValue_; }
    std::optional<std::int64_t> peakValue() const { return peakValue_; }
    std::optional<std::int64_t> backgroundValue() const { return backgroundValue_; }
    // The last Bahtinov result as shown: the error (in "µm" or "px") and the critical focus
    // zone (0 without telescope data); the error is none when it is not a finite number.
    std::optional<double> focusError() const { return focusError_; }
    double criticalFocusZone() const { return cfz_; }

    // Copies of the histories.
    std::vector<zeta::imaging::Point> driftHistory() const { return {driftHistory_.begin(), driftHistory_.end()}; }
    std::vector<double> fwhmHistory() const { return {fwhmHistory_.begin(), fwhmHistory_.end()}; }
    std::vector<double> hfdHistory() const { return {hfdHistory_.begin(), hfdHistory_.end()}; }
    std::vector<std::int64_t> peakHistory() const { return {peakHistory_.begin(), peakHistory_.end()}; }

    // Interface actions.
    void automaticStretchAction();
    // mouseUp: the slider's current event is a left-mouse-up (ignored for the stepper).
    void blackPointAction(StretchSender sender, bool mouseUp = true);
    void whitePointAction(StretchSender sender, bool mouseUp = true);
    void zoomInAction();
    void zoomActualSizeAction();
    void zoomToFitAction();
    void zoomOutAction();
    void setGuideLines1();
    void setGuideLines2();
    void repaint();
    void showDrift();
    void showBahtinov();
    // The scroll view's window was resized.
    void windowDidResize();

    void savePreferences() override;
    virtual void resetHistory();
    virtual void showPSFAnalysis();
    virtual void showDetailView();
    virtual void showDriftAnalysis();
    virtual void showBahtinovAnalysis();
    virtual void removeSelection();

    // ClickableViewDelegate (view coordinates).
    void selectedWithPoint(zeta::imaging::Point point) override;
    void draggedWithRect(zeta::imaging::Rect rect, bool finished) override;
    void deselected() override;
    void movedWithPoint(zeta::imaging::Point point) override;
    void exited() override;

    // Largest half-size of the square a click searches for a star, in image pixels.
    static constexpr std::int64_t kMaxClickSearch = 100;

private:
    void stretchAction(bool black, StretchSender sender, bool mouseUp);
    enum class Zoom { In, Out, ActualSize, ToFit };
    // The zoom buttons: their states, the new zoom, and the view at that zoom.
    void zoomTo(Zoom zoom);
    void applyZoom(const std::shared_ptr<zeta::platform::Picture>& rendering);
    double fittedZoom(const zeta::platform::Picture& rendering, double margin) const;
    void pushMarkers();
    void showStretch(bool black, std::int64_t value);
    void clearHistories();

    zeta::imaging::ImageWindowView* view_ = nullptr;
    const zeta::imaging::CameraSensor* camera_ = nullptr;
    std::function<void()> frameShown_;
    std::function<void()> imageChanged_;

    std::deque<zeta::imaging::Point> driftHistory_;
    std::deque<double> fwhmHistory_;
    std::deque<double> hfdHistory_;
    std::deque<std::int64_t> peakHistory_;
    std::shared_ptr<Image> current_;
    double zoom_ = 1.0;
    bool zoomToFit_ = true;
    bool automaticStretch_ = true;
    std::optional<StarSample> selectedStar_;
    bool enableMarkers_ = true;

    std::optional<zeta::imaging::Point> pointMarker_;
    std::optional<zeta::imaging::Rect> frameMarker_;
    std::optional<double> fwhmValue_, hfdValue_;
    std::optional<std::int64_t> peakValue_, backgroundValue_;
    std::optional<double> focusError_;
    double cfz_ = 0;
};

// The product window: starts with star and rectangle selection off, unless the user left
// it switched on (enableMarkersAction).
class ZTImageController : public ImageController {
public:
    void awakeFromNib() override;
};
