#pragma once
// What the image view reports to its delegate (the image window's controller). Points and
// rectangles are in view coordinates (points, origin lower-left, y upward); rectangles
// always have a non-negative width and height.

#include "image_window/image_window_types.h"

class ClickableViewDelegate {
public:
    virtual ~ClickableViewDelegate() = default;
    // The left button went down and came up at the same place.
    virtual void selectedWithPoint(zeta::imaging::Point point) = 0;
    // The left button is dragged (finished false), and once more at release after moving.
    virtual void draggedWithRect(zeta::imaging::Rect rect, bool finished) = 0;
    // The right button went down.
    virtual void deselected() = 0;
    // The mouse moved to a point inside the view's visible part.
    virtual void movedWithPoint(zeta::imaging::Point point) = 0;
    // The mouse left the visible part.
    virtual void exited() = 0;
};
