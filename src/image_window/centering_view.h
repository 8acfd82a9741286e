#pragma once
// CenteringView: the scroll area of the image window. A picture smaller than the visible area
// sits in its middle instead of a corner; a larger one scrolls normally.

#include "image_window/image_window_types.h"

#include <QScrollArea>

class CenteringView : public QScrollArea {
    Q_OBJECT
public:
    explicit CenteringView(QWidget* parent = nullptr);

    // The bounds origin for a proposed visible rectangle over a document of the given size:
    // on each axis where the document is smaller than the proposed visible size, the origin
    // that centres it (negative); otherwise the proposed (already constrained) origin.
    static zeta::imaging::Point constrainBoundsOrigin(zeta::imaging::Rect proposed, zeta::imaging::Point constrained,
                                                      zeta::imaging::Size document);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    void placeDocument();
};
