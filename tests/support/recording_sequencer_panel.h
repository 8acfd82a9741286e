#pragma once
// The sequencer panel as a test sees it: the rows it shows and the lights, text and button
// title the controller set. Main thread, as the controller calls it. Header only: a test
// that uses it links zeta_focus.

#include "focus/sequencer_controller.h"

#include <array>
#include <string>
#include <string_view>

namespace test_support {

class RecordingSequencerPanel : public SequencerView {
public:
    RecordingSequencerPanel() {
        rows.fill({"0", "", "", "", ""});
        lights.fill("NSStatusNone");
    }
    SequencerRow row(int n) const override { return rows[static_cast<std::size_t>(n - 1)]; }
    void showRow(int n, const SequencerRow& r) override { rows[static_cast<std::size_t>(n - 1)] = r; }
    long long repeatCount() const override { return repeat; }
    void showRepeatCount(long long count) override { repeat = count; }
    void showRowStatus(int n, std::string_view image) override { lights[static_cast<std::size_t>(n - 1)] = image; }
    void showStatusImage(std::string_view image) override { light = image; }
    void showStatusText(const std::string& t) override { text = t; }
    void showExecuteTitle(const std::string& t) override { title = t; }

    // The lights with the rows given lit, the others off.
    static std::array<std::string, kRows> lightsWith(std::initializer_list<std::pair<int, std::string_view>> lit) {
        std::array<std::string, kRows> all;
        all.fill("NSStatusNone");
        for (const auto& [n, image] : lit)
            all[static_cast<std::size_t>(n - 1)] = image;
        return all;
    }

    std::array<SequencerRow, kRows> rows;
    long long repeat = 1;
    std::array<std::string, kRows> lights;
    std::string light, text, title = "Execute";
};

} // namespace test_support
