#include "image_window/image_controller.h"

#include "Common/indigo_client.h"
#include "platform/constants.h"

#include <algorithm>
#include <cmath>
#include <string>

using zeta::imaging::Control;
using zeta::imaging::Field;
using zeta::imaging::Panel;
using zeta::imaging::PictureOutlet;
using zeta::imaging::Point;
using zeta::imaging::Rect;
using zeta::imaging::Size;

namespace {

// The largest scale of the stretch controls for 16-bit frames: 255 x 256, not 65535.
constexpr double kSixteenBitMaximum = 65280;
constexpr std::size_t kDriftPoints = 201;

// The stretch labels write their numbers as the statistics beside them do.
std::string integerText(std::int64_t v) {
    return formatInteger(v);
}

} // namespace

ImageController::ImageController() = default;
ImageController::~ImageController() = default;

void ImageController::awakeFromNib() {
    view_->setState(Control::AutomaticStretch, automaticStretch_);
    view_->setState(Control::SelectStars, enableMarkers_);
    if (view_->hasField(Field::Fwhm)) view_->setTextColor(Field::Fwhm, GRAPH_COLOR_1());
    if (view_->hasField(Field::Hfd)) view_->setTextColor(Field::Hfd, GRAPH_COLOR_2());
}

void ZTImageController::awakeFromNib() {
    ImageController::awakeFromNib();
    // Off on the first launch; afterwards as the user left it.
    setEnableMarkers(DEFAULTS().boolForKey("enableMarkers", false));
    view()->setState(Control::SelectStars, enableMarkers());
}

void ImageController::enableMarkersAction(bool enable) {
    enableMarkers_ = enable;
    DEFAULTS().setBool(enable, "enableMarkers");
    // A rare choice, and one the user expects to find again even after a crash.
    DEFAULTS().synchronize();
    if (view_) view_->setState(Control::SelectStars, enable);
}

void ImageController::setImage(std::shared_ptr<Image> image, const std::string& source) {
    if (!dispatch::isMainThread()) {
        // Every change of the window happens on the main thread; the caller waits.
        dispatch::mainQueue().sync(
            [this, image = std::move(image), &source]() mutable { setImage(std::move(image), source); });
        return;
    }
    if (image && image->size() == 0) {
        // Nothing to show: the last good picture and its figures stay, and the user learns why.
        const std::string& reason =
            image->decodeFailure().empty() ? std::string("its layout is not shown") : image->decodeFailure();
        if (indigo())
            indigo()->message("Can't read " + source + " (" + (image->format().empty() ? "?" : image->format()) + ", " +
                              std::to_string(image->data().length()) + " bytes): " + reason);
        return;
    }
    if (!view_) {
        // No window (yet, or any more): keep the frame, show nothing.
        current_ = std::move(image);
        return;
    }
    if (!image || !current_ || image->width() != current_->width() || image->height() != current_->height())
        removeSelection();
    current_ = std::move(image);
    if (!current_) {
        for (const auto c : {Control::ZoomIn, Control::ActualSize, Control::ZoomToFit, Control::ZoomOut})
            view_->setEnabled(c, false);
        if (imageChanged_) imageChanged_();
        return;
    }
    refreshImage();
    if (imageChanged_) imageChanged_();
    if (frameShown_) frameShown_();
}

void ImageController::refreshImage() {
    if (!current_) return;
    Image& image = *current_;
    for (const auto c : {Control::ZoomIn, Control::ActualSize, Control::ZoomToFit, Control::ZoomOut})
        view_->setEnabled(c, true);

    view_->setText(Field::FrameSize, formatInteger(image.width()) + " x " + formatInteger(image.height()));
    const bool otherSize = camera_ && (image.width() != camera_->ccdWidth() || image.height() != camera_->ccdHeight());
    view_->setTextColor(Field::FrameSize,
                        otherSize ? zeta::platform::Color::systemRed() : zeta::platform::Color::black());
    view_->setText(Field::Min, formatInteger(image.min()));
    view_->setText(Field::Max, formatInteger(image.max()));
    view_->setText(Field::Average, formatInteger(image.average()));
    view_->setText(Field::Median, (image.bitsPerPixel() == 16 ? "~ " : "") + formatInteger(image.median()));

    for (const auto c : {Control::AutomaticStretch, Control::BlackSlider, Control::WhiteSlider, Control::BlackStepper,
                         Control::WhiteStepper})
        view_->setEnabled(c, true);

    // The stretch controls work in sample units: 0..255, or 0..65280 in steps of 256.
    const bool deep = image.bitsPerPixel() == 16 || image.bitsPerPixel() == 48;
    const double sliderMaximum = view_->maximum(Control::BlackSlider);
    if (deep == (sliderMaximum == 255) && (sliderMaximum == 255 || sliderMaximum == kSixteenBitMaximum)) {
        for (const auto c :
             {Control::BlackSlider, Control::BlackStepper, Control::WhiteSlider, Control::WhiteStepper}) {
            // The value first: a smaller maximum would clamp it.
            const auto old = static_cast<std::int64_t>(view_->value(c));
            const bool stepper = c == Control::BlackStepper || c == Control::WhiteStepper;
            view_->setMaximum(c, deep ? kSixteenBitMaximum : 255);
            if (stepper) view_->setIncrement(c, deep ? 256 : 1);
            view_->setValue(c, static_cast<double>(deep ? old * 256 : old / 256));
        }
    }

    if (automaticStretch_) {
        image.setBlackPoint(image.autoBlackPoint());
        showStretch(true, image.autoBlackPoint());
        image.setWhitePoint(image.autoWhitePoint());
        showStretch(false, image.autoWhitePoint());
    } else {
        const auto black = static_cast<std::int64_t>(view_->value(Control::BlackSlider));
        image.setBlackPoint(black);
        showStretch(true, black);
        const auto white = static_cast<std::int64_t>(view_->value(Control::WhiteSlider));
        image.setWhitePoint(white);
        showStretch(false, white);
    }

    image.setDebayer(255);
    const auto rendering = image.image();
    if (!rendering) return;
    if (zoomToFit_) zoom_ = fittedZoom(*rendering, 6);
    applyZoom(rendering);
    view_->showHistogram(image.histogram());

    if (!pointMarker_) {
        selectedStar_.reset();
    } else {
        const auto found = image.findStar(5, pointMarker_->x, pointMarker_->y);
        selectedStar_ =
            found ? image.measureStar(found->x, found->y, found->min, found->max, found->pixels) : std::nullopt;
    }
    if (!selectedStar_) {
        if (!frameMarker_) {
            removeSelection();
        } else if (view_->hasPanel(Panel::Bahtinov) && view_->panelVisible(Panel::Bahtinov)) {
            showBahtinovAnalysis();
        }
    } else {
        const Point at{selectedStar_->x + selectedStar_->dx, selectedStar_->y + selectedStar_->dy};
        pointMarker_ = at;
        frameMarker_.reset();
        if (driftHistory_.size() >= kDriftPoints) driftHistory_.pop_front();
        driftHistory_.push_back(at);
        if (view_->hasPicture(PictureOutlet::Psf)) showPSFAnalysis();
        if (view_->hasPicture(PictureOutlet::Detail)) showDetailView();
        if (view_->hasPanel(Panel::Drift) && view_->panelVisible(Panel::Drift)) showDriftAnalysis();
    }
    pushMarkers();
    view_->redrawImageView();
}

void ImageController::showStretch(bool black, std::int64_t value) {
    const double v = static_cast<double>(value);
    view_->setValue(black ? Control::BlackSlider : Control::WhiteSlider, v);
    view_->setText(black ? Field::BlackPoint : Field::WhitePoint, integerText(value));
    view_->setValue(black ? Control::BlackStepper : Control::WhiteStepper, v);
}

double ImageController::fittedZoom(const zeta::platform::Picture& rendering, double margin) const {
    const auto rep = rendering.firstBitmapImageRep();
    const double w = rep ? static_cast<double>(rep->pixelsWide()) : 1;
    const double h = rep ? static_cast<double>(rep->pixelsHigh()) : 1;
    const Size area = view_->scrollViewSize();
    // A scroll view smaller than its margin counts as one point wide or high, so the zoom
    // stays finite and positive.
    const double aw = std::max(1.0, area.width - margin), ah = std::max(1.0, area.height - margin);
    return std::max(w / aw, h / ah);
}

void ImageController::applyZoom(const std::shared_ptr<zeta::platform::Picture>& rendering) {
    const auto rep = rendering->firstBitmapImageRep();
    const double w = rep ? static_cast<double>(rep->pixelsWide()) : 0;
    const double h = rep ? static_cast<double>(rep->pixelsHigh()) : 0;
    view_->showRendering(rendering, zoom_, Size{w / zoom_, h / zoom_});
}

void ImageController::pushMarkers() {
    view_->setMarkers(pointMarker_, frameMarker_);
}

void ImageController::automaticStretchAction() {
    if (!current_) return;
    automaticStretch_ = true;
    view_->setState(Control::AutomaticStretch, true);
    current_->setBlackPoint(current_->autoBlackPoint());
    showStretch(true, current_->autoBlackPoint());
    current_->setWhitePoint(current_->autoWhitePoint());
    showStretch(false, current_->autoWhitePoint());
    if (const auto rendering = current_->image()) applyZoom(rendering);
}

void ImageController::blackPointAction(StretchSender sender, bool mouseUp) {
    stretchAction(true, sender, mouseUp);
}
void ImageController::whitePointAction(StretchSender sender, bool mouseUp) {
    stretchAction(false, sender, mouseUp);
}

void ImageController::stretchAction(bool black, StretchSender sender, bool mouseUp) {
    if (!current_) return;
    automaticStretch_ = false;
    view_->setState(Control::AutomaticStretch, false);
    const Control slider = black ? Control::BlackSlider : Control::WhiteSlider;
    const Control stepper = black ? Control::BlackStepper : Control::WhiteStepper;
    const Field field = black ? Field::BlackPoint : Field::WhitePoint;
    const auto setPoint = [&](std::int64_t v) {
        if (black)
            current_->setBlackPoint(v);
        else
            current_->setWhitePoint(v);
        if (const auto rendering = current_->image()) applyZoom(rendering);
    };
    if (sender == StretchSender::Stepper) {
        const auto v = static_cast<std::int64_t>(view_->value(stepper));
        view_->setValue(slider, static_cast<double>(v));
        view_->setText(field, integerText(v));
        setPoint(v);
        return;
    }
    auto v = static_cast<std::int64_t>(view_->value(slider));
    if (view_->maximum(slider) != 255) v = v / 256 * 256;
    view_->setValue(stepper, static_cast<double>(v));
    view_->setText(field, integerText(v));
    // While the slider is dragged only the numbers follow; the picture changes at release.
    if (mouseUp) setPoint(v);
}

void ImageController::zoomInAction() {
    zoomTo(Zoom::In);
}

void ImageController::zoomActualSizeAction() {
    zoomTo(Zoom::ActualSize);
}

void ImageController::zoomToFitAction() {
    zoomTo(Zoom::ToFit);
}

void ImageController::zoomOutAction() {
    zoomTo(Zoom::Out);
}

void ImageController::zoomTo(Zoom zoom) {
    if (!current_) return;
    const auto rendering = current_->image();
    if (!rendering) return;
    zoomToFit_ = zoom == Zoom::ToFit;
    view_->setState(Control::ZoomToFit, zoom == Zoom::ToFit);
    view_->setState(Control::ActualSize, zoom == Zoom::ActualSize);
    switch (zoom) {
    case Zoom::In:
        zoom_ = std::max(0.25, zoom_ * 0.5);
        break;
    case Zoom::Out:
        zoom_ = std::min(8.0, zoom_ * 2);
        break;
    case Zoom::ActualSize:
        zoom_ = 1;
        break;
    case Zoom::ToFit:
        zoom_ = fittedZoom(*rendering, 10);
        break;
    }
    applyZoom(rendering);
}

void ImageController::windowDidResize() {
    if (zoomToFit_) zoomToFitAction();
}

void ImageController::setGuideLines1() {
    if (selectedStar_) {
        DEFAULTS().setDouble(selectedStar_->x + selectedStar_->dx, "guideX1");
        DEFAULTS().setDouble(selectedStar_->y + selectedStar_->dy, "guideY1");
    } else {
        DEFAULTS().removeObjectForKey("guideX1");
        DEFAULTS().removeObjectForKey("guideY1");
    }
    view_->redrawImageView();
}

void ImageController::setGuideLines2() {
    if (selectedStar_) {
        DEFAULTS().setDouble(selectedStar_->x + selectedStar_->dx, "guideX2");
        DEFAULTS().setDouble(selectedStar_->y + selectedStar_->dy, "guideY2");
    } else {
        DEFAULTS().removeObjectForKey("guideX2");
        DEFAULTS().removeObjectForKey("guideY2");
    }
    view_->redrawImageView();
}

void ImageController::repaint() {
    view_->redrawImageView();
}

void ImageController::savePreferences() {
    if (view_->hasField(Field::Fwhm)) view_->setTextColor(Field::Fwhm, GRAPH_COLOR_1());
    if (view_->hasField(Field::Hfd)) view_->setTextColor(Field::Hfd, GRAPH_COLOR_2());
    view_->redrawImageView();
}

void ImageController::clearHistories() {
    driftHistory_.clear();
    fwhmHistory_.clear();
    hfdHistory_.clear();
    peakHistory_.clear();
}

void ImageController::resetHistory() {
    clearHistories();
}

void ImageController::selectedWithPoint(Point point) {
    if (!current_ || !enableMarkers_) return;
    clearHistories();
    // Five view points around the click, bounded so that an extreme fitted zoom cannot make
    // the search square huge.
    const double half = std::floor(5 * zoom_);
    const auto a = static_cast<std::int64_t>(std::clamp(half, 0.0, static_cast<double>(kMaxClickSearch)));
    if (const auto found = current_->findStar(a, point.x * zoom_, point.y * zoom_))
        selectedStar_ = current_->measureStar(found->x, found->y, found->min, found->max, found->pixels);
    driftHistory_.clear();
    if (!selectedStar_) {
        removeSelection();
    } else {
        pointMarker_ = Point{selectedStar_->x, selectedStar_->y};
        frameMarker_.reset();
        pushMarkers();
        if (view_->hasPicture(PictureOutlet::Psf)) showPSFAnalysis();
        if (view_->hasPicture(PictureOutlet::Detail)) showDetailView();
    }
    view_->redrawImageView();
}

void ImageController::draggedWithRect(Rect rect, bool finished) {
    if (!current_ || !enableMarkers_) return;
    clearHistories();
    frameMarker_ = Rect{rect.x * zoom_, rect.y * zoom_, rect.width * zoom_, rect.height * zoom_};
    pointMarker_.reset();
    // A rectangle selection holds no star: the autofocus must not go on reading the old one.
    selectedStar_.reset();
    pushMarkers();
    view_->setText(Field::SelectedPixel,
                   "[" + integerText(static_cast<std::int64_t>(std::floor(frameMarker_->width))) + ", " +
                       integerText(static_cast<std::int64_t>(std::floor(frameMarker_->height))) + "]");
    if (finished && view_->hasPanel(Panel::Bahtinov) && view_->panelVisible(Panel::Bahtinov)) showBahtinovAnalysis();
    view_->redrawImageView();
}

void ImageController::deselected() {
    removeSelection();
    view_->redrawImageView();
}

void ImageController::movedWithPoint(Point point) {
    if (!current_) return;
    const double x = point.x * zoom_, y = point.y * zoom_;
    const auto value = current_->pixel(x, y);
    if (!value) return;
    std::string text = "[" + integerText(static_cast<std::int64_t>(std::floor(x))) + ", " +
                       integerText(static_cast<std::int64_t>(std::floor(y))) + "] = ";
    if (const auto* grey = std::get_if<std::int64_t>(&*value)) {
        text += integerText(*grey);
    } else {
        const auto& rgb = std::get<RGBValue>(*value);
        text += "(" + integerText(rgb.red) + ", " + integerText(rgb.green) + ", " + integerText(rgb.blue) + ")";
    }
    view_->setText(Field::SelectedPixel, text);
}

void ImageController::exited() {
    view_->setText(Field::SelectedPixel, "--");
}

void ImageController::removeSelection() {
    pointMarker_.reset();
    frameMarker_.reset();
    selectedStar_.reset();
    if (view_) pushMarkers();
    if (view_ && view_->hasPicture(PictureOutlet::Psf)) {
        for (const auto f : {Field::Fwhm, Field::Hfd, Field::Peak, Field::Background})
            if (view_->hasField(f)) view_->setText(f, "--");
        if (view_->hasField(Field::Fwhm)) fwhmValue_.reset();
        if (view_->hasField(Field::Hfd)) hfdValue_.reset();
        if (view_->hasField(Field::Peak)) peakValue_.reset();
        if (view_->hasField(Field::Background)) backgroundValue_.reset();
    }
}
