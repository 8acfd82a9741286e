#include "focus/sequencer_controller.h"

#include "platform/constants.h"
#include "platform/named_image.h"

namespace {

std::string key(std::string_view base, int n) {
    return std::string(base) + std::to_string(n);
}

} // namespace

void SequencerController::awakeFromNib() {
    if (!view_) return;
    auto& defaults = DEFAULTS();
    for (int n = 1; n <= SequencerView::kRows; ++n) {
        view_->showRow(n, {defaults.stringForKey(key("sequencer", n), ""),
                           defaults.stringForKey(key("sequencerDuration", n), ""),
                           defaults.stringForKey(key("sequencerTimeLapse", n), ""),
                           defaults.stringForKey(key("sequencerCount", n), ""),
                           defaults.stringForKey(key("sequencerName", n), "")});
    }
    view_->showRepeatCount(defaults.integerForKey("repeatCount", 1));
    view_->showStatusImage(zeta::platform::kStatusNone);
}

void SequencerController::save() {
    if (!view_) return;
    auto& defaults = DEFAULTS();
    for (int n = 1; n <= SequencerView::kRows; ++n) {
        const SequencerRow row = view_->row(n);
        defaults.setObject(row.use, key("sequencer", n));
        defaults.setObject(row.duration, key("sequencerDuration", n));
        defaults.setObject(row.timeLapse, key("sequencerTimeLapse", n));
        defaults.setObject(row.count, key("sequencerCount", n));
        defaults.setObject(row.name, key("sequencerName", n));
    }
    defaults.setInteger(view_->repeatCount(), "repeatCount");
    // Kept even when the process ends without a clean quit.
    defaults.synchronize();
}
