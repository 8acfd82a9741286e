#pragma once
// What the simulated cameras photograph: a fixed field of stars on a noisy night sky, sent as
// a grey JPEG. The stars blur with the lens's distance from its best position, so the star
// tools and the autofocus can be tried without a camera; optionally the brightest star, in
// the middle of the frame, shows the three spikes of a Bahtinov mask, its central spike
// shifted sideways by the defocus. A 1920 x 1280 frame takes a few tens of milliseconds.

#include <cstdint>
#include <vector>

namespace zeta::platform {

struct StarFieldScene {
    int width = 1920;
    int height = 1280;
    // Lens steps from the best position; its sign does not matter.
    double defocus = 0;
    bool bahtinovMask = false;
    // Seeds the sky's noise: each frame differs, the stars stay where they are.
    std::uint32_t frame = 0;
};

struct FieldStar {
    double x = 0, y = 0; // centre, in pixels from the top-left corner
    double flux = 0;     // summed light above the sky, in 8-bit sample units
};

// The stars of a frame of this size; the first is the brightest, in the middle.
std::vector<FieldStar> fieldStars(int width, int height);
// The Gaussian width (sigma, pixels) of every star at this defocus.
double starSigma(double defocus);
// The scene as a grey JPEG; empty when the size is not positive or encoding fails.
std::vector<std::uint8_t> starFieldJPEG(const StarFieldScene& scene);

// Whether the simulator was asked for the mask (ZETA_SIMULATED_BAHTINOV=1).
bool simulatedBahtinovMask();

} // namespace zeta::platform
