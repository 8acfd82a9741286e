#pragma once
// What the focuser and filter-wheel windows read of the windows around them. The main window
// sets the readers once at start-up; a reader left unset reads false (or a count of 0).
// The readers are called on the main queue only.

#include <functional>
#include <optional>

namespace zeta::focus {

// The selected star's numbers as the image window measured them on the frame just shown;
// a number the window has none for reads as none.
struct StarReading {
    bool selected = false;
    std::optional<double> peak, hfd, fwhm;
};

struct Neighbours {
    std::function<bool()> previewInProgress{};   // camera window: single preview or live view
    std::function<bool()> captureInProgress{};   // camera window: capture run
    std::function<bool()> sequenceInProgress{};  // sequencer
    std::function<bool()> starSelected{};        // image window: a star is selected
    std::function<int()> frameCount{};           // camera window's count box: moves of a multi-step run
    std::function<StarReading()> selectedStar{}; // image window: the selected star (autofocus)

    static bool read(const std::function<bool()>& reader) { return reader ? reader() : false; }
};

} // namespace zeta::focus
