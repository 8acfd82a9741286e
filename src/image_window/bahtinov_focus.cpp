#include "image_window/bahtinov_focus.h"

#include <cmath>

namespace zeta::imaging {

double bahtinovErrorPixels(const BahtinovLine& central, const BahtinovLine& side1, const BahtinovLine& side2) {
    struct Line {
        double dx, dy, c, x1, y2;
    };
    const auto lineOf = [](const BahtinovLine& l) {
        const double dx = static_cast<double>(l.x2 - l.x1), dy = static_cast<double>(l.y2 - l.y1);
        const double x1 = static_cast<double>(l.x1), y2 = static_cast<double>(l.y2);
        return Line{dx, dy, -dy * x1 - dx * y2, x1, y2};
    };
    const Line l0 = lineOf(central), l1 = lineOf(side1), l2 = lineOf(side2);
    const double yi = (l1.c * l2.dy - l2.c * l1.dy) / (l2.dx * l1.dy - l2.dy * l1.dx);
    const double xi = (-l1.dx * yi - l1.c) / l1.dy;
    if (l0.dx == 0 && l0.dy == 0) return yi;
    return (l0.dy * xi + l0.dx * yi + l0.c) / std::sqrt(l0.dx * l0.dx + l0.dy * l0.dy);
}

double bahtinovErrorMicrometres(double errorPixels, double angle1, double angle2, double aperture, double focalLength,
                                double pixelSize) {
    const double theta = (angle1 - angle2) / 2;
    // 9/32: the mask's own factor; 0.707106781 as the mask makers give it.
    const double k = 0.28125 / (focalLength / aperture) / pixelSize;
    return errorPixels / (k * ((std::tan(theta) + 1) * 0.707106781 + 1));
}

double criticalFocusZone(double aperture, double focalLength, double pixelSize) {
    return focalLength * pixelSize / aperture;
}

} // namespace zeta::imaging
