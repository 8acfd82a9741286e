#pragma once
// The image properties of encoded bytes, read from memory (the platform's image-source
// properties): "PixelWidth", "PixelHeight", "Orientation" when the file gives them, and the
// metadata groups "{TIFF}" (the main image's tags: "Make", "Model", ...), "{Exif}"
// ("ExposureTime", "FNumber", "ISOSpeedRatings", "DateTimeOriginal", ...) and "{GPS}", each
// a map from tag name to value. Numbers come as integers or doubles (rationals), texts as
// strings, several values as lists.

#include "platform/image/data.h"

#include <QVariantMap>
#include <optional>

namespace zeta::platform {

// None when the bytes are not a still-image format that carries image properties (JPEG,
// TIFF and the raw formats built on it, PNG, CRW, MRW, RAF, ORF, RW2) or are damaged;
// callable from any thread.
std::optional<QVariantMap> imagePropertiesWithData(const Data& data);

} // namespace zeta::platform
