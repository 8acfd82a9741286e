#include "image_window/clickable_view.h"

#include "image_window/drawing_painter.h"
#include "platform/constants.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

using zeta::imaging::Point;
using zeta::imaging::Rect;
using zeta::imaging::Size;
using zeta::imaging::Stroke;

namespace {

Stroke line(const zeta::platform::Color& color, Point a, Point b) {
    Stroke s;
    s.color = color;
    s.points = {a, b};
    return s;
}

// A line across the frame each way through g, interrupted 5 points either side of it.
void guideLines(std::vector<Stroke>& out, Point g, Size frame, const zeta::platform::Color& color) {
    out.push_back(line(color, {0, g.y}, {g.x - 5, g.y}));
    out.push_back(line(color, {g.x + 5, g.y}, {frame.width, g.y}));
    out.push_back(line(color, {g.x, 0}, {g.x, g.y - 5}));
    out.push_back(line(color, {g.x, g.y + 5}, {g.x, frame.height}));
}

} // namespace

std::vector<Stroke> overlayStrokes(const ClickableOverlay& o) {
    std::vector<Stroke> out;
    const double s = o.scale;
    if (o.pointMarker && s > 0) {
        // The centre of the pixel the point designates.
        const Point c{(o.pointMarker->x + 0.5) / s, (o.pointMarker->y - 0.5) / s};
        const auto colour = MARKER_COLOR();
        out.push_back(line(colour, {c.x - 15, c.y}, {c.x - 3, c.y}));
        out.push_back(line(colour, {c.x + 15, c.y}, {c.x + 3, c.y}));
        out.push_back(line(colour, {c.x, c.y - 15}, {c.x, c.y - 3}));
        out.push_back(line(colour, {c.x, c.y + 15}, {c.x, c.y + 3}));
    }
    if (s > 0 && o.guide1.x >= 0 && o.guide1.y >= 0)
        guideLines(out, {(o.guide1.x + 0.5) / s, (o.guide1.y + 0.5) / s}, o.frame, GRAPH_COLOR_1());
    if (s > 0 && o.guide2.x >= 0 && o.guide2.y >= 0)
        guideLines(out, {(o.guide2.x + 0.5) / s, (o.guide2.y + 0.5) / s}, o.frame, GRAPH_COLOR_2());
    if (o.frameMarker && s > 0) {
        const Rect r{o.frameMarker->x / s, o.frameMarker->y / s, o.frameMarker->width / s, o.frameMarker->height / s};
        Stroke outline;
        outline.color = MARKER_COLOR();
        outline.points = {
            {r.x, r.y}, {r.x + r.width, r.y}, {r.x + r.width, r.y + r.height}, {r.x, r.y + r.height}, {r.x, r.y}};
        out.push_back(outline);
    }
    if (s > 0 && o.showCrosshair) {
        const double w = o.frame.width, h = o.frame.height;
        const auto colour = MARKER_COLOR();
        out.push_back(line(colour, {0, h / 2}, {w / 2 - 5, h / 2}));
        out.push_back(line(colour, {w / 2 + 5, h / 2}, {w, h / 2}));
        out.push_back(line(colour, {w / 2, 0}, {w / 2, h / 2 - 5}));
        out.push_back(line(colour, {w / 2, h / 2 + 5}, {w / 2, h}));
    }
    return out;
}

void paintScaled(QPainter& painter, const QImage& image, QSize viewSize, QRect target, QImage& scratch) {
    target = target.intersected(QRect(QPoint(0, 0), viewSize));
    if (image.isNull() || target.isEmpty() || viewSize.isEmpty()) return;
    if (scratch.size() != target.size() || scratch.format() != QImage::Format_RGB32)
        scratch = QImage(target.size(), QImage::Format_RGB32);
    const double sx = static_cast<double>(image.width()) / viewSize.width();
    const double sy = static_cast<double>(image.height()) / viewSize.height();
    const int w = target.width();
    std::vector<int> columns(static_cast<std::size_t>(w));
    for (int i = 0; i < w; ++i)
        columns[static_cast<std::size_t>(i)] =
            std::min(image.width() - 1, static_cast<int>((target.left() + i + 0.5) * sx)) * 3;
    const bool packedRGB = image.format() == QImage::Format_RGB888;
    const QImage converted = packedRGB ? QImage() : image.convertToFormat(QImage::Format_RGB888);
    const QImage& source = packedRGB ? image : converted;
    for (int j = 0; j < target.height(); ++j) {
        const int row = std::min(source.height() - 1, static_cast<int>((target.top() + j + 0.5) * sy));
        const uchar* in = source.constScanLine(row);
        auto* out = reinterpret_cast<QRgb*>(scratch.scanLine(j));
        for (int i = 0; i < w; ++i) {
            const uchar* p = in + columns[static_cast<std::size_t>(i)];
            out[i] = 0xFF000000u | (QRgb(p[0]) << 16) | (QRgb(p[1]) << 8) | QRgb(p[2]);
        }
    }
    painter.drawImage(target.topLeft(), scratch);
}

ClickableView::ClickableView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ClickableView::setPicture(std::shared_ptr<zeta::platform::Picture> picture) {
    picture_ = std::move(picture);
    image_ = picture_ ? zeta::imaging::qImageOf(*picture_) : QImage();
    update();
}

void ClickableView::setFrameSize(Size size) {
    frameSize_ = size;
    resize(std::max(1, static_cast<int>(std::ceil(size.width))), std::max(1, static_cast<int>(std::ceil(size.height))));
    update();
}

Size ClickableView::frameSize() const {
    return frameSize_;
}

Point ClickableView::toView(QPointF position) const {
    return {position.x(), frameSize_.height - position.y()};
}

QRect ClickableView::visibleRect() const {
    return visibleRegion().boundingRect();
}

void ClickableView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QSize viewSize(static_cast<int>(std::ceil(frameSize_.width)), static_cast<int>(std::ceil(frameSize_.height)));
    paintScaled(painter, image_, viewSize, event->rect(), scaled_);

    ClickableOverlay overlay;
    overlay.scale = scale_;
    overlay.frame = frameSize_;
    overlay.pointMarker = pointMarker_;
    overlay.frameMarker = frameMarker_;
    overlay.guide1 = {DEFAULTS().doubleForKey("guideX1", -1), DEFAULTS().doubleForKey("guideY1", -1)};
    overlay.guide2 = {DEFAULTS().doubleForKey("guideX2", -1), DEFAULTS().doubleForKey("guideY2", -1)};
    overlay.showCrosshair = DEFAULTS().boolForKey("showCrosshair", false);
    painter.translate(0, frameSize_.height);
    painter.scale(1, -1);
    for (const auto& stroke : overlayStrokes(overlay)) {
        painter.setPen(QPen(zeta::imaging::qColorOf(stroke.color), 1));
        for (std::size_t i = 1; i < stroke.points.size(); ++i)
            painter.drawLine(QPointF(stroke.points[i - 1].x, stroke.points[i - 1].y),
                             QPointF(stroke.points[i].x, stroke.points[i].y));
    }
}

Rect ClickableView::dragRect(QPointF position) const {
    Point current = toView(position);
    current.x = std::clamp(current.x, 0.0, frameSize_.width);
    current.y = std::clamp(current.y, 0.0, frameSize_.height);
    const Point down = *downPoint_;
    return {std::min(current.x, down.x), std::min(current.y, down.y), std::fabs(current.x - down.x),
            std::fabs(current.y - down.y)};
}

void ClickableView::mousePressEvent(QMouseEvent* event) {
    if (!delegate_) return;
    if (event->button() == Qt::LeftButton) downPoint_ = toView(event->position());
    if (event->button() == Qt::RightButton) delegate_->deselected();
}

void ClickableView::mouseMoveEvent(QMouseEvent* event) {
    if (!delegate_) return;
    if (event->buttons() & Qt::LeftButton) {
        if (downPoint_) delegate_->draggedWithRect(dragRect(event->position()), false);
        return;
    }
    if (visibleRect().contains(event->position().toPoint()))
        delegate_->movedWithPoint(toView(event->position()));
    else
        delegate_->exited();
}

void ClickableView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !delegate_ || !downPoint_) return;
    const Point up = toView(event->position());
    if (up.x != downPoint_->x || up.y != downPoint_->y)
        delegate_->draggedWithRect(dragRect(event->position()), true);
    else
        delegate_->selectedWithPoint(*downPoint_);
    downPoint_.reset();
}

void ClickableView::leaveEvent(QEvent*) {
    if (delegate_) delegate_->exited();
}
