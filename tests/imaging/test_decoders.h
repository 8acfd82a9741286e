#pragma once
// Registers the decoders as the application does at launch (raw frames, then FITS), plus
// the layout-making test decoder. Idempotent.

#include "imaging/fits_image_rep.h"
#include "test_bitmap_image_rep.h"
#include "test_raw_image_rep.h"

inline void registerDecoders() {
    platform::ImageRep::registerImageRepClass<TestRawImageRep>();
    platform::ImageRep::registerImageRepClass<FITSIO::FITSImageRep>();
    platform::ImageRep::registerImageRepClass<TestBitmapImageRep>();
}
