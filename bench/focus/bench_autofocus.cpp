// How many frames autofocus needs to find the best focuser position, against a sweep that
// rates every position of the same range with the same five-frame averages. Both see the same
// star model with the same seeded noise, measured the way the image window measures it (the
// selected star re-found near its position, HFD and FWHM to two decimals). Moves take no time
// here, so the figures count frames, not seconds. The final position's distance from the best
// one is printed beside the frame counts.

#include "Common/raw_image_rep.h"
#include "focus/autofocus_routine.h"
#include "imaging/image.h"
#include "platform/image/image_rep.h"
#include "support/star_model.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <random>

namespace {

using zeta::focus::AutofocusAction;
using zeta::focus::AutofocusFrame;
using zeta::focus::AutofocusRoutine;

constexpr double kRange = 40; // start this far from best; the sweep covers best ± kRange
constexpr int kGroup = 5;

double round2(double value) {
    return std::round(value * 100) / 100;
}

// The selected star's numbers on one frame, or none when it is not found.
std::optional<AutofocusFrame> measure(const test_support::StarModel& model, double position, std::mt19937& noise) {
    const auto bytes = model.frame(position, noise);
    const Image image(zeta::platform::Data(bytes.data(), bytes.size()), ".raw");
    const double cx = model.width / 2.0, cy = model.height - model.height / 2.0;
    const auto found = image.findStar(5, cx, cy);
    if (!found) return std::nullopt;
    const auto star = image.measureStar(found->x, found->y, found->min, found->max, found->pixels);
    if (!star) return std::nullopt;
    AutofocusFrame frame;
    frame.starSelected = true;
    frame.peak = static_cast<double>(star->max);
    frame.hfd = round2(image.hfd(star->pixels, star->x, star->y));
    frame.fwhm = round2(image.fwhm(star->min, star->max, star->pixels, star->x, star->y));
    frame.focuserState = 1; // Ok: moves end before the next frame
    return frame;
}

struct Result {
    int frames = 0;
    double error = 0;
    bool ok = true;
};

Result autofocus(const test_support::StarModel& model, double start, std::uint32_t seed) {
    std::mt19937 noise(seed);
    AutofocusRoutine routine;
    routine.start(true, 4, 1, 0);
    double position = start;
    bool outward = true;
    Result result;
    while (routine.inProgress() && result.frames < 10000) {
        const auto frame = measure(model, position, noise);
        ++result.frames;
        if (!frame) return {result.frames, 0, false};
        for (const AutofocusAction& action : routine.frame(*frame)) {
            if (action.kind == AutofocusAction::Kind::Direction) outward = action.outward;
            if (action.kind == AutofocusAction::Kind::Steps) position += outward ? action.steps : -action.steps;
            if (action.kind == AutofocusAction::Kind::Abort) result.ok = false;
        }
    }
    result.error = std::abs(position - model.best);
    return result;
}

Result sweep(const test_support::StarModel& model, std::uint32_t seed) {
    std::mt19937 noise(seed);
    Result result;
    double bestQuality = -1, bestPosition = 0;
    for (double position = model.best - kRange; position <= model.best + kRange; position += 1) {
        double sum = 0;
        for (int i = 0; i < kGroup; ++i) {
            const auto frame = measure(model, position, noise);
            ++result.frames;
            if (!frame) return {result.frames, 0, false};
            sum += frame->peak / frame->hfd / frame->fwhm;
        }
        if (sum / kGroup > bestQuality) {
            bestQuality = sum / kGroup;
            bestPosition = position;
        }
    }
    result.error = std::abs(bestPosition - model.best);
    return result;
}

} // namespace

int main() {
    zeta::platform::ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
    test_support::StarModel model;
    model.best = 1000;
    const int runs = 10;
    double zetaFrames = 0, zetaErrorSum = 0, zetaErrorMax = 0;
    double peerFrames = 0, peerErrorMax = 0;
    for (int run = 0; run < runs; ++run) {
        const auto seed = static_cast<std::uint32_t>(run + 1);
        const double start = model.best + (run % 2 == 0 ? -kRange : kRange);
        const Result zeta = autofocus(model, start, seed);
        const Result peer = sweep(model, seed);
        if (!zeta.ok || !peer.ok) {
            std::printf("bench autofocus_frames: failed (run %d lost the star)\n", run);
            return 1;
        }
        zetaFrames += zeta.frames;
        zetaErrorSum += zeta.error;
        zetaErrorMax = std::max(zetaErrorMax, zeta.error);
        peerFrames += peer.frames;
        peerErrorMax = std::max(peerErrorMax, peer.error);
    }
    zetaFrames /= runs;
    peerFrames /= runs;
    std::printf("bench autofocus_frames: zeta=%.1f peer=%.1f ratio=%.2f target=3 error_steps_max=%g "
                "error_steps_mean=%.2f sweep_error_steps_max=%g\n",
                zetaFrames, peerFrames, peerFrames / zetaFrames, zetaErrorMax, zetaErrorSum / runs, peerErrorMax);
    return 0;
}
