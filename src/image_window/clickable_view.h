#pragma once
// ClickableView: the picture of the image window. Paints the visible part of the rendering,
// scaled without smoothing, then the markers, the two guide lines and the crosshair; turns
// mouse input into ClickableViewDelegate events in view coordinates (points, origin at the
// lower-left corner, y upward).
//
// Markers are in image pixels and divided by scale (image pixels per point) for drawing. The
// guide lines come from the settings "guideX1", "guideY1", "guideX2", "guideY2" and the
// crosshair from "showCrosshair", read at every paint, as are the marker and graph colours.

#include "image_window/clickable_view_delegate.h"
#include "image_window/image_window_types.h"

#include <QImage>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class ClickableView : public QWidget {
    Q_OBJECT
public:
    explicit ClickableView(QWidget* parent = nullptr);

    void setDelegate(ClickableViewDelegate* delegate) { delegate_ = delegate; }
    ClickableViewDelegate* delegate() const { return delegate_; }

    double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    // The rendering shown (8-bit RGB, kept alive here); nullptr shows nothing.
    void setPicture(std::shared_ptr<zeta::platform::Picture> picture);
    // The view's frame in points: the widget is resized to it.
    void setFrameSize(zeta::imaging::Size size);
    zeta::imaging::Size frameSize() const;

    std::optional<zeta::imaging::Point> pointMarker() const { return pointMarker_; }
    std::optional<zeta::imaging::Rect> frameMarker() const { return frameMarker_; }
    void setPointMarker(std::optional<zeta::imaging::Point> marker) { pointMarker_ = marker; }
    void setFrameMarker(std::optional<zeta::imaging::Rect> marker) { frameMarker_ = marker; }
    std::optional<zeta::imaging::Point> downPoint() const { return downPoint_; }

    // View coordinates of a widget position (y flipped).
    zeta::imaging::Point toView(QPointF position) const;
    // The part of the view not scrolled out of sight, in widget coordinates.
    QRect visibleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    zeta::imaging::Rect dragRect(QPointF position) const;

    ClickableViewDelegate* delegate_ = nullptr;
    std::optional<zeta::imaging::Point> downPoint_;
    double scale_ = 0;
    zeta::imaging::Size frameSize_;
    std::optional<zeta::imaging::Point> pointMarker_;
    std::optional<zeta::imaging::Rect> frameMarker_;
    std::shared_ptr<zeta::platform::Picture> picture_;
    QImage image_;  // wraps the rendering's pixels without copying
    QImage scaled_; // the visible part at screen size, reused between paints
};

// What the view draws over the picture, in view coordinates: the point marker's cross, guide
// lines 1 and 2 (negative positions: none), the frame marker's outline and the crosshair.
struct ClickableOverlay {
    double scale = 0;
    zeta::imaging::Size frame;
    std::optional<zeta::imaging::Point> pointMarker;
    std::optional<zeta::imaging::Rect> frameMarker;
    zeta::imaging::Point guide1{-1, -1}, guide2{-1, -1};
    bool showCrosshair = false;
};
std::vector<zeta::imaging::Stroke> overlayStrokes(const ClickableOverlay& overlay);

// Paints the visible part (target, widget coordinates) of an image shown over a view of
// viewSize: nearest-neighbour, one source pixel per target pixel, written into scratch.
void paintScaled(QPainter& painter, const QImage& image, QSize viewSize, QRect target, QImage& scratch);
