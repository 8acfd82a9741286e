#pragma once
// A camera of ours on the in-process bus that looks at one star through a focuser: each
// exposure (CCD_EXPOSURE) ends with a frame of the star model, blurred by how far the given
// focuser position is from the best one when the exposure ends, sent as CCD_IMAGE (".raw").
// Built on the CCD base; connections complete at once. The noise is seeded.

#include "indigo/indigo_bus.h"
#include "support/star_model.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace test_support {

class StarCamera {
public:
    struct Options {
        std::string name = "Star Camera";
        StarModel model;
        std::uint32_t seed = 1;
        // Where the focuser is now (read when an exposure ends, on a bus worker thread).
        std::function<double()> position;
    };

    explicit StarCamera(Options options);
    ~StarCamera();
    StarCamera(const StarCamera&) = delete;
    StarCamera& operator=(const StarCamera&) = delete;

    const std::string& name() const;
    // Frames from now on show the star or an empty sky.
    void setStarVisible(bool visible);
    // Exposures ended so far.
    int frames() const;

private:
    struct Driver;
    std::unique_ptr<Driver> driver_;
};

} // namespace test_support
