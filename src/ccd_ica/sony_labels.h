#pragma once
// Sony's own value lists, labels and writability rules, and the value ladders the camera steps
// through, as data tables. PTPSonyCamera reads them; nothing here talks to a camera.

#include <cstdint>
#include <span>
#include <string_view>

namespace zeta::ccd_ica::sony {

struct SonyLabel {
    int64_t value;
    std::string_view label;
};

// How one property is reported: a fixed list (value texts and labels from the table, whatever
// the camera allows) or the camera's own list labelled from the table (unknown values get
// "0x%04x"); writable by the camera's flag, always, or only in (or outside) the listed modes.
struct SonyRule {
    enum class Form { fixedList, cameraList };
    enum class Writable { cameraFlag, always, inModes, outsideModes };
    uint16_t code;
    Form form;
    std::span<const SonyLabel> labels;
    Writable writable;
    std::span<const uint16_t> modes;

    bool writableIn(uint16_t mode, bool cameraWritable) const;
};

struct SonyLadder {
    uint16_t code;
    std::span<const int64_t> values; // in the order the camera steps them
};

// The rule of a property code; null for codes published by the generic rules.
const SonyRule* rule(uint16_t code);
// The ladder of a stepped property; empty for properties that are set directly.
std::span<const int64_t> ladder(uint16_t code);

} // namespace zeta::ccd_ica::sony
