#pragma once
// A bounded walk over the headers of FITS bytes before CFITSIO sees them. CFITSIO divides by
// the tile sizes of a tile-compressed image as soon as it reaches its header, so a damaged
// header with a zero or missing size would stop the process: such bytes are refused here.

#include <cstddef>
#include <cstdint>

// False when some header of the bytes describes a tile-compressed image (ZIMAGE = T) whose
// ZNAXISn or ZTILEn is not a whole number of at least 1. Headers are walked from the first
// until the bytes end, an END card is missing, or a header's data size cannot be read.
bool fitsTileHeadersAreSane(const std::uint8_t* bytes, std::size_t length);
