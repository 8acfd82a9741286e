#pragma once
// Canon EOS event stream: walking one GetEvent answer into the camera's property descriptions,
// and encoding a property write as SetDevicePropValueEx data.
//
// Plain data in, plain data out: the camera class sends the requests and reports. Every read
// stays inside the record it belongs to and inside the answer: a record shorter than its own
// head ends the walk, and counts, lists and texts that would run past their record are dropped.

#include "ccd_ica/ptp_datasets.h"
#include "ccd_ica/ptp_value.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t kCanonEventObjectAddedEx = 0xC181;
constexpr uint32_t kCanonEventPropValueChanged = 0xC189;
constexpr uint32_t kCanonEventAvailListChanged = 0xC18A;
constexpr uint16_t kCanonPropertyCustomFuncEx = 0xD1A0;
constexpr std::size_t kCanonCustomFunctionGroups = 10;

// What the stream keeps between answers.
struct CanonEventState {
    // Each custom-function group as last received, in the exact form of a one-group
    // CustomFuncEx value, so that a write sends it back with only the written values changed.
    std::array<std::vector<uint8_t>, kCanonCustomFunctionGroups> customFuncGroup;
    int32_t currentMode = 0; // last AE mode (0xD105)
};

struct CanonObjectAdded {
    uint32_t handle = 0;
    std::string fileName;
};

// The outcome of one answer.
struct CanonEventWalk {
    // Descriptions touched, in record order (one entry per record, so possibly repeated).
    std::vector<std::shared_ptr<PTPProperty>> changed;
    // New files, each with its own name.
    std::vector<CanonObjectAdded> objectsAdded;
    std::vector<std::string> debug;
};

using CanonPropertyFactory = std::function<std::shared_ptr<PTPProperty>(uint16_t code)>;

// The datatype and the read-only flag a PropValueChanged record gives a Canon property.
uint16_t canonPropertyDatatype(uint16_t code);
bool canonPropertyReadOnly(uint16_t code);

// One image-format value at the cursor (u32 group count, then four u32 words per group) in
// its 64-bit form; 0 when the value does not fit.
uint64_t ptp_read_canon_image_format(PTPCursor& cursor);

// Walks one GetEvent answer: updates `info` and `state`, and says what changed.
CanonEventWalk canonWalkEvents(std::span<const uint8_t> data, PTPDeviceInfo& info, CanonEventState& state,
                               const CanonPropertyFactory& makeProperty, const PTPNameTable& eventNames);

// SetDevicePropValueEx data for a write, when there is one.
struct CanonPropertyWrite {
    enum class Outcome { Send, Skip };
    Outcome outcome = Outcome::Skip;
    std::vector<uint8_t> data; // with Send
};

// Encodes `text` for property `code`. A custom function changes its group buffer in place
// (the written values stay) and is sent as the whole group under 0xD1A0; a text with fewer
// values than the item changes only its leading values.
CanonPropertyWrite canonEncodePropertyWrite(uint16_t code, std::string_view text, const PTPDeviceInfo& info,
                                            CanonEventState& state);

// The JPEG frame of a GetViewFinderData answer: the first record of type 1 (records are a u32
// size counting their 8-byte head, a u32 type, then the bytes). Empty when there is none; a
// record shorter than its head or running past the data ends the search.
std::span<const uint8_t> canonViewfinderFrame(std::span<const uint8_t> data);
