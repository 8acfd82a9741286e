#pragma once
// Geometry and off-screen drawings of the image window, as plain data: the controller decides
// what a panel shows, the widgets only paint it.
//
// Coordinates are points with the origin at the lower-left corner and y upward.

#include "platform/color.h"
#include "platform/image/picture.h"

#include <memory>
#include <vector>

namespace zeta::imaging {

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// One stroke of a drawing: an open polyline through its points, or a full circle.
struct Stroke {
    enum class Kind { Polyline, Circle };
    Kind kind = Kind::Polyline;
    zeta::platform::Color color;
    std::vector<Point> points; // Polyline: the points in order
    Point centre;              // Circle
    double radius = 0;         // Circle
};

// An area of a rendered frame copied into the drawing: source in image pixels (y upward from
// the frame's bottom), destination in drawing points. Scaled without smoothing.
struct PictureCopy {
    std::shared_ptr<zeta::platform::Picture> picture;
    Rect source;
    Rect destination;
};

// A picture of width x height points on a transparent background: an optional copy of part
// of a frame, then the strokes in order, default line width.
struct Drawing {
    Size size;
    std::vector<PictureCopy> copies;
    std::vector<Stroke> strokes;
};

} // namespace zeta::imaging
