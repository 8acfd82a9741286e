#pragma once
// Registers the decoders as the application does at launch (raw frames, then FITS), plus
// the layout-making test decoder. Idempotent.

#include "Common/raw_image_rep.h"
#include "imaging/fits_image_rep.h"
#include "test_bitmap_image_rep.h"
#include "test_raw_image_rep.h"

inline void registerDecoders() {
    zeta::platform::ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
    zeta::platform::ImageRep::registerImageRepClass<FITSIO::FITSImageRep>();
    zeta::platform::ImageRep::registerImageRepClass<TestBitmapImageRep>();
}
