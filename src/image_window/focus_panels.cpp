// The focus-analysis parts of the image window: PSF fields and graph, the magnified star, the
// drift plot and the Bahtinov analysis.

#include "image_window/bahtinov_focus.h"
#include "image_window/image_controller.h"
#include "platform/constants.h"
#include "platform/system_log.h"

#include <QLocale>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

using zeta::imaging::Drawing;
using zeta::imaging::Field;
using zeta::imaging::Panel;
using zeta::imaging::PictureCopy;
using zeta::imaging::PictureOutlet;
using zeta::imaging::Point;
using zeta::imaging::Rect;
using zeta::imaging::Size;
using zeta::imaging::Stroke;
using zeta::platform::Color;

namespace {

constexpr std::size_t kPsfValues = 101;

double round2(double v) {
    return std::round(v * 100) / 100;
}

// A number with the user's decimal separator; "--" for what is not a finite number.
std::string decimalText(double v, int decimals) {
    if (!std::isfinite(v)) return "--";
    return QLocale::system().toString(v, 'f', decimals).toStdString();
}

Stroke polyline(const Color& color, std::vector<Point> points) {
    Stroke s;
    s.color = color;
    s.points = std::move(points);
    return s;
}

Stroke circle(const Color& color, Point centre, double radius) {
    Stroke s;
    s.kind = Stroke::Kind::Circle;
    s.color = color;
    s.centre = centre;
    s.radius = radius;
    return s;
}

} // namespace

void ImageController::showPSFAnalysis() {
    if (!current_ || !selectedStar_) return;
    const StarSample& star = *selectedStar_;
    const double fwhm = current_->fwhm(star.min, star.max, star.pixels, star.x, star.y);
    const double hfd = current_->hfd(star.pixels, star.x, star.y);
    // The fields show two decimals; the numbers kept are what they show.
    if (view_->hasField(Field::Fwhm)) {
        fwhmValue_ = round2(fwhm);
        view_->setText(Field::Fwhm, decimalText(*fwhmValue_, 2));
    }
    if (view_->hasField(Field::Hfd)) {
        hfdValue_ = round2(hfd);
        view_->setText(Field::Hfd, decimalText(*hfdValue_, 2));
    }
    if (view_->hasField(Field::Peak)) {
        peakValue_ = star.max;
        view_->setText(Field::Peak, formatInteger(star.max));
    }
    if (view_->hasField(Field::Background)) {
        backgroundValue_ = star.min;
        view_->setText(Field::Background, formatInteger(star.min));
    }
    if (!view_->hasPicture(PictureOutlet::Psf)) return;

    if (fwhmHistory_.size() >= kPsfValues) {
        fwhmHistory_.pop_front();
        hfdHistory_.pop_front();
        peakHistory_.pop_front();
    }
    fwhmHistory_.push_back(fwhmValue_.value_or(round2(fwhm)));
    hfdHistory_.push_back(hfdValue_.value_or(round2(hfd)));
    peakHistory_.push_back(peakValue_.value_or(star.max));

    const double sF = std::max(5.0, *std::max_element(fwhmHistory_.begin(), fwhmHistory_.end()));
    const double sH = std::max(5.0, *std::max_element(hfdHistory_.begin(), hfdHistory_.end()));
    const double sP =
        std::max(1000.0, static_cast<double>(*std::max_element(peakHistory_.begin(), peakHistory_.end())));
    auto drawing = std::make_shared<Drawing>();
    drawing->size = Size{200, 100};
    const auto graph = [&](const auto& history, double scale, const Color& color) {
        std::vector<Point> points;
        points.reserve(history.size());
        for (std::size_t i = 0; i < history.size(); ++i)
            points.push_back({2.0 * static_cast<double>(i), static_cast<double>(history[i]) * 100 / scale});
        drawing->strokes.push_back(polyline(color, std::move(points)));
    };
    graph(fwhmHistory_, sF, GRAPH_COLOR_1());
    graph(hfdHistory_, sH, GRAPH_COLOR_2());
    graph(peakHistory_, sP, Color::white());
    view_->showDrawing(PictureOutlet::Psf, drawing);
}

void ImageController::showDetailView() {
    if (!view_->hasPicture(PictureOutlet::Detail)) return;
    if (!current_ || !selectedStar_) {
        view_->showDrawing(PictureOutlet::Detail, nullptr);
        return;
    }
    const auto rendering = current_->image();
    if (!rendering) return;
    const StarSample& star = *selectedStar_;
    auto drawing = std::make_shared<Drawing>();
    drawing->size = Size{180, 180};
    // The 9 x 9 pixels centred on the star's pixel, twenty times enlarged.
    drawing->copies.push_back(
        PictureCopy{rendering, Rect{std::round(star.x) - 4, std::round(star.y) - 5, 9, 9}, Rect{0, 0, 180, 180}});
    const Point c{(star.dx + 4.5) * 20, (star.dy + 4.5) * 20};
    drawing->strokes.push_back(polyline(MARKER_COLOR(), {{c.x - 50, c.y}, {c.x + 50, c.y}}));
    drawing->strokes.push_back(polyline(MARKER_COLOR(), {{c.x, c.y - 50}, {c.x, c.y + 50}}));
    if (view_->hasField(Field::Fwhm) && fwhmValue_)
        drawing->strokes.push_back(circle(GRAPH_COLOR_1(), c, 10 * *fwhmValue_));
    if (view_->hasField(Field::Hfd) && hfdValue_)
        drawing->strokes.push_back(circle(GRAPH_COLOR_2(), c, 10 * *hfdValue_));
    view_->showDrawing(PictureOutlet::Detail, drawing);
}

void ImageController::showDriftAnalysis() {
    if (!view_->hasPanel(Panel::Drift) || driftHistory_.empty()) return;
    const Point first = driftHistory_.front();
    double range = 1.05;
    for (const auto& p : driftHistory_)
        range = std::max({range, std::fabs(p.x - first.x), std::fabs(p.y - first.y)});
    auto drawing = std::make_shared<Drawing>();
    drawing->size = Size{400, 100};
    const auto whole = static_cast<int>(std::floor(range));
    for (int k = -whole; k <= whole; ++k) {
        const double y = 50 - k * 50 / range;
        drawing->strokes.push_back(polyline(Color::white(), {{0, y}, {400, y}}));
    }
    drawing->strokes.push_back(polyline(Color{0.33, 0.33, 0.33, 1}, {{0, 50}, {400, 50}}));
    const auto drift = [&](auto coordinate, const Color& color) {
        std::vector<Point> points{{0, 50}};
        for (std::size_t i = 1; i < driftHistory_.size(); ++i) {
            const double y = (coordinate(first) - coordinate(driftHistory_[i])) * 50 / range + 50;
            points.push_back({2.0 * static_cast<double>(i), std::clamp(y, 0.0, 100.0)});
        }
        drawing->strokes.push_back(polyline(color, std::move(points)));
    };
    drift([](const Point& p) { return p.x; }, GRAPH_COLOR_1());
    drift([](const Point& p) { return p.y; }, GRAPH_COLOR_2());

    // Least-squares drift per frame, frame index as abscissa; with one point it is no number.
    const double n = static_cast<double>(driftHistory_.size());
    double sk = 0, skk = 0, sx = 0, sy = 0, skx = 0, sky = 0;
    for (std::size_t i = 0; i < driftHistory_.size(); ++i) {
        const double k = static_cast<double>(i);
        sk += k;
        skk += k * k;
        sx += driftHistory_[i].x;
        sy += driftHistory_[i].y;
        skx += k * driftHistory_[i].x;
        sky += k * driftHistory_[i].y;
    }
    const double denominator = n * skk - sk * sk;
    const double slopeX = (n * skx - sk * sx) / denominator;
    const double slopeY = (n * sky - sk * sy) / denominator;
    view_->setText(Field::DriftAX, std::isfinite(slopeX) ? "X " + decimalText(slopeX, 4) : "X --");
    view_->setText(Field::DriftBX, std::isfinite(slopeY) ? "Y " + decimalText(slopeY, 4) : "Y --");
    view_->showDrawing(PictureOutlet::Drift, drawing);
}

void ImageController::showBahtinovAnalysis() {
    if (!current_ || !frameMarker_) return;
    const auto rendering = current_->image();
    if (!rendering) return;
    const Rect r = *frameMarker_;
    auto drawing = std::make_shared<Drawing>();
    drawing->size = Size{200, 200};
    Rect area;
    double zoom;
    if (r.width > r.height) {
        const double g = 200 * r.height / r.width;
        area = Rect{0, (200 - g) / 2, 200, g};
        zoom = 200 / r.width;
    } else {
        const double c = r.height > 0 ? 200 * r.width / r.height : 0;
        area = Rect{(200 - c) / 2, 0, c, 200};
        zoom = r.height > 0 ? 200 / r.height : 0;
    }
    drawing->copies.push_back(PictureCopy{rendering, r, area});
    const auto lines = current_->bahtinovLines(r.x, r.y, r.width, r.height);
    if (!lines[0] || !lines[1] || !lines[2]) {
        view_->showDrawing(PictureOutlet::Bahtinov, drawing);
        return;
    }
    for (const auto& line : lines) {
        char text[128];
        std::snprintf(text, sizeof text, "[%lld, %lld][%lld, %lld] %d", static_cast<long long>(line->x1),
                      static_cast<long long>(line->y1), static_cast<long long>(line->x2),
                      static_cast<long long>(line->y2), static_cast<int>(line->angle * 180 / std::numbers::pi));
        zeta::platform::systemLog(text);
    }
    const double pixels = zeta::imaging::bahtinovErrorPixels(*lines[0], *lines[1], *lines[2]);
    const double aperture = DEFAULTS().doubleForKey("aperture", 0);
    const double focalLength = DEFAULTS().doubleForKey("focalLength", 0);
    const double pixelSize =
        DEFAULTS().doubleForKey("pixelSize", 0) * static_cast<double>(DEFAULTS().integerForKey("binning", 1));
    double error;
    if (aperture != 0 && focalLength != 0 && pixelSize != 0) {
        error = round2(zeta::imaging::bahtinovErrorMicrometres(pixels, lines[1]->angle, lines[2]->angle, aperture,
                                                               focalLength, pixelSize));
        cfz_ = round2(zeta::imaging::criticalFocusZone(aperture, focalLength, pixelSize));
        view_->setText(Field::FocusErrorUnit, "µm");
        view_->setText(Field::Cfz, decimalText(cfz_, 2));
    } else {
        error = round2(pixels);
        cfz_ = 0;
        view_->setText(Field::FocusErrorUnit, "px");
        view_->setText(Field::Cfz, "--");
    }
    // Parallel or degenerate spikes give no number: shown as "--", never as nan or inf.
    focusError_ = std::isfinite(error) ? std::optional<double>(error) : std::nullopt;
    view_->setText(Field::FocusError, decimalText(error, 2));
    const Color colour = focusError_ && cfz_ > std::fabs(*focusError_) ? MARKER_COLOR() : GRAPH_COLOR_2();
    view_->setTextColor(Field::FocusError, colour);
    view_->setTextColor(Field::FocusErrorUnit, colour);
    const auto at = [&](double x, double y) {
        return Point{area.x + zoom * x, area.y + zoom * y};
    };
    const auto stroke = [&](const BahtinovLine& l, const Color& c) {
        drawing->strokes.push_back(polyline(c, {at(static_cast<double>(l.x1), static_cast<double>(l.y1)),
                                                at(static_cast<double>(l.x2), static_cast<double>(l.y2))}));
    };
    stroke(*lines[0], colour);
    stroke(*lines[1], GRAPH_COLOR_1());
    stroke(*lines[2], GRAPH_COLOR_1());
    view_->showDrawing(PictureOutlet::Bahtinov, drawing);
}

void ImageController::showDrift() {
    if (!view_->hasPanel(Panel::Drift)) return;
    view_->orderFront(Panel::Drift, DEFAULTS().boolForKey("hidePanels", true));
}

void ImageController::showBahtinov() {
    if (!view_->hasPanel(Panel::Bahtinov)) return;
    view_->orderFront(Panel::Bahtinov, DEFAULTS().boolForKey("hidePanels", true));
    if (frameMarker_) showBahtinovAnalysis();
}
