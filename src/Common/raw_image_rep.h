#pragma once
// INDIGO::RawImageRep: the bitmap decoder of INDIGO raw frames, registered with the image
// decoder registry (ImageRep::registerImageRepClass<INDIGO::RawImageRep>()) so that any image
// made from bytes decodes them.
//
// The frame's header is read by zeta::imaging::readRawFrameHeader (imaging/raw_frame.h):
//   "RAW1"  8-bit grey            -> 8 bits per pixel,  calibrated white
//   "RAW2"  16-bit grey, LE       -> 16 bits per pixel, calibrated white
//   "RAW3"  blue, green, red bytes -> 24 bits per pixel, device RGB (presented red, green, blue)
// Grey frames are presented in place over the received bytes, which the representation keeps
// alive. A colour frame is presented from a copy with red and blue exchanged: the received
// bytes are shared with other holders (a BLOB item's cache) and are never changed.
// A frame shorter than its header says, an unknown signature or a size the bitmap refuses
// gives no representation. Stateless: decodes on any thread.

#include "Common/indigo_client.h"
#include "imaging/raw_frame.h"
#include "platform/image/bitmap_image_rep.h"
#include "platform/image/buffer.h"
#include "platform/image/data.h"

#include <cstddef>
#include <string>

class INDIGO::RawImageRep final : public zeta::platform::BitmapImageRep {
public:
    static constexpr std::size_t kHeaderSize = zeta::imaging::RawFrameHeader::kSize;

    // Decodes the frame; when that fails the representation has no pixels (bitmapData() null).
    explicit RawImageRep(const zeta::platform::Data& data);
    ~RawImageRep() override;

    // True when the bytes begin with "RAW".
    static bool canInitWithData(const zeta::platform::Data& data);
    // One representation, or none when the bytes do not decode.
    static zeta::platform::ImageReps imageRepsWithData(const zeta::platform::Data& data, std::string* reason = nullptr);

    // The frame's bytes as received.
    const zeta::platform::Data& data() const { return data_; }

    // Why the bytes gave no pixels; empty when they did.
    const std::string& failureReason() const { return failureReason_; }

private:
    // The reason decoding failed, empty when it did not.
    std::string decode();

    zeta::platform::Data data_;
    zeta::platform::Buffer swapped_;
    std::string failureReason_;
};
