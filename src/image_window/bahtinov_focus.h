#pragma once
// The focus error of a Bahtinov pattern: how far the crossing of the two side spikes lies
// from the central spike, in pixels, and its conversion to micrometres of focuser travel.

#include "imaging/bahtinov_line.h"

namespace zeta::imaging {

// Signed distance of the side spikes' crossing (lines 1 and 2) from the central spike (line
// 0), in pixels. Each line is taken through (x1, y2) and (x2, y1). Not finite for parallel
// side spikes or a horizontal first side spike.
double bahtinovErrorPixels(const BahtinovLine& central, const BahtinovLine& side1, const BahtinovLine& side2);

// The error in micrometres for a telescope of the given aperture and focal length and a
// camera pixel of pixelSize micrometres (already times the binning).
double bahtinovErrorMicrometres(double errorPixels, double angle1, double angle2, double aperture, double focalLength,
                                double pixelSize);

// Critical focus zone in micrometres: focalLength x pixelSize / aperture.
double criticalFocusZone(double aperture, double focalLength, double pixelSize);

} // namespace zeta::imaging
