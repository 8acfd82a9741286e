#pragma once
// The outlets of the image window as ImageController sees them: the widget side implements
// this interface, builds the controls and forwards the user's actions to the controller.
// Every call comes on the main thread.

#include "image_window/image_window_types.h"
#include "platform/color.h"

#include <memory>
#include <optional>
#include <string>

namespace zeta::imaging {

// Text fields.
enum class Field {
    SelectedPixel,
    FrameSize,
    Min,
    Max,
    Average,
    Median,
    BlackPoint,
    WhitePoint,
    // Optional (the PSF fields of the image window).
    Fwhm,
    Hfd,
    Peak,
    Background,
    // Drift panel.
    DriftAX,
    DriftBX,
    // Bahtinov panel.
    FocusError,
    FocusErrorUnit,
    Cfz,
};

// Buttons, sliders and steppers.
enum class Control {
    BlackSlider,
    WhiteSlider,
    BlackStepper,
    WhiteStepper,
    AutomaticStretch,
    ZoomIn,
    ZoomToFit,
    ActualSize,
    ZoomOut,
    // On/off: clicks and drags on the picture select stars and rectangles.
    SelectStars,
};

// Image views besides the picture itself.
enum class PictureOutlet { Histogram, Detail, Psf, Drift, Bahtinov };

// The floating panels.
enum class Panel { Drift, Bahtinov };

class ImageWindowView {
public:
    virtual ~ImageWindowView() = default;

    // Whether an optional outlet is connected: the Fwhm, Hfd, Peak and Background fields,
    // the Detail and Psf pictures, and the two panels (whose own fields and pictures come
    // with them).
    virtual bool hasField(Field field) const = 0;
    virtual bool hasPicture(PictureOutlet picture) const = 0;
    virtual bool hasPanel(Panel panel) const = 0;

    virtual void setText(Field field, const std::string& text) = 0;
    virtual void setTextColor(Field field, const zeta::platform::Color& color) = 0;

    virtual void setEnabled(Control control, bool enabled) = 0;
    // On/off state of the automatic-stretch, fit and actual-size buttons.
    virtual void setState(Control control, bool on) = 0;
    // Value, maximum and increment of the sliders and steppers.
    virtual double value(Control control) const = 0;
    virtual void setValue(Control control, double value) = 0;
    virtual double maximum(Control control) const = 0;
    virtual void setMaximum(Control control, double maximum) = 0;
    virtual void setIncrement(Control control, double increment) = 0;

    // Size of the scroll view that zoom to fit fills, in points.
    virtual Size scrollViewSize() const = 0;

    // The picture view (ClickableView): its rendering, scale (image pixels per point) and
    // frame size in points; its markers in image coordinates; a redraw.
    virtual void showRendering(std::shared_ptr<zeta::platform::Picture> rendering, double scale, Size frame) = 0;
    virtual void setMarkers(std::optional<Point> pointMarker, std::optional<Rect> frameMarker) = 0;
    virtual void redrawImageView() = 0;

    // The histogram drawing of the frame.
    virtual void showHistogram(std::shared_ptr<zeta::platform::Picture> histogram) = 0;
    // A panel picture; nullptr clears it.
    virtual void showDrawing(PictureOutlet picture, std::shared_ptr<const Drawing> drawing) = 0;

    virtual bool panelVisible(Panel panel) const = 0;
    // Brings the panel to the front as key window; hidesOnDeactivate as the preference says.
    virtual void orderFront(Panel panel, bool hidesOnDeactivate) = 0;
};

// The camera window's sensor size, against which the frame size is shown red.
class CameraSensor {
public:
    virtual ~CameraSensor() = default;
    virtual std::int64_t ccdWidth() const = 0;
    virtual std::int64_t ccdHeight() const = 0;
};

} // namespace zeta::imaging
