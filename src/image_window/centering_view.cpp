#include "image_window/centering_view.h"

#include <QEvent>
#include <QScrollBar>

using zeta::imaging::Point;
using zeta::imaging::Rect;
using zeta::imaging::Size;

CenteringView::CenteringView(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignCenter);
}

Point CenteringView::constrainBoundsOrigin(Rect proposed, Point constrained, Size document) {
    Point origin = constrained;
    if (document.width < proposed.width) origin.x = (document.width - proposed.width) / 2;
    if (proposed.height > document.height) origin.y = (document.height - proposed.height) / 2;
    return origin;
}

void CenteringView::placeDocument() {
    QWidget* document = widget();
    if (!document) return;
    const QSize visible = viewport()->size();
    const Rect proposed{static_cast<double>(horizontalScrollBar()->value()),
                        static_cast<double>(verticalScrollBar()->value()), static_cast<double>(visible.width()),
                        static_cast<double>(visible.height())};
    const Point origin =
        constrainBoundsOrigin(proposed, {proposed.x, proposed.y},
                              {static_cast<double>(document->width()), static_cast<double>(document->height())});
    const QPoint at(static_cast<int>(-origin.x), static_cast<int>(-origin.y));
    if (document->pos() != at) document->move(at);
}

void CenteringView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    placeDocument();
}

void CenteringView::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    placeDocument();
}

bool CenteringView::viewportEvent(QEvent* event) {
    const bool handled = QScrollArea::viewportEvent(event);
    // The document's size changed (new picture or zoom): place it again.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) placeDocument();
    return handled;
}
