// The Qt image readers (PNG, BMP, GIF, PPM and whatever plug-ins are installed), last in
// line. Decoded images are repacked into rows without padding: 8- or 16-bit grey, 24-bit
// RGB, 48-bit RGB for 16-bit colour, 32-bit RGBA (alpha last, not premultiplied) with alpha.

#include "platform/image/bitmap_image_rep.h"
#include "platform/image/image_rep.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <climits>
#include <cstring>

namespace zeta::platform {
namespace {

QByteArray view(const Data& data) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data.bytes()), static_cast<qsizetype>(data.length()));
}

bool canInitWithData(const Data& data) {
    if (data.empty()) return false;
    QByteArray bytes = view(data);
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return false;
    return !QImageReader::imageFormat(&buffer).isEmpty();
}

// Whether the file itself is grey, never whether its pixels happen to be: a colour frame of
// grey pixels keeps the colour layout of the run it is in. A PNG says so by the colour type
// in its header; for the other formats the reader's format tells, a palette by its colours.
bool fileIsGrey(const Data& data, const QImage& image) {
    static constexpr unsigned char kPngStart[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n',
                                                    0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    constexpr std::size_t kColourType = 25; // after the signature, the chunk's length and name, size, depth
    if (data.length() > kColourType && std::memcmp(data.bytes(), kPngStart, sizeof kPngStart) == 0)
        return data.bytes()[kColourType] == 0 || data.bytes()[kColourType] == 4; // grey, grey with alpha
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        return true;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return image.isGrayscale(); // asks the colour table, not the pixels
    default:
        return false;
    }
}

std::shared_ptr<BitmapImageRep> repack(const QImage& source, bool grey) {
    QImage image;
    BitmapLayout layout;
    layout.pixelsWide = source.width();
    layout.pixelsHigh = source.height();
    const bool deep = source.depth() >= 48 || source.format() == QImage::Format_Grayscale16 ||
                      source.format() == QImage::Format_RGBX64 || source.format() == QImage::Format_RGBA64;
    if (grey && !source.hasAlphaChannel()) {
        image = source.convertToFormat(deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
        layout.bitsPerSample = deep ? 16 : 8;
        layout.samplesPerPixel = 1;
        layout.colorSpaceName = ColorSpace::CalibratedWhite;
    } else if (source.hasAlphaChannel()) {
        image = source.convertToFormat(QImage::Format_RGBA8888);
        layout.samplesPerPixel = 4;
        layout.hasAlpha = true;
        layout.bitmapFormat = BitmapFormatAlphaNonpremultiplied;
        layout.colorSpaceName = ColorSpace::DeviceRGB;
    } else if (deep) {
        image = source.convertToFormat(QImage::Format_RGBX64);
        layout.bitsPerSample = 16;
        layout.samplesPerPixel = 3;
        layout.colorSpaceName = ColorSpace::DeviceRGB;
    } else {
        image = source.convertToFormat(QImage::Format_RGB888);
        layout.samplesPerPixel = 3;
        layout.colorSpaceName = ColorSpace::DeviceRGB;
    }
    if (image.isNull()) return nullptr;
    auto rep = BitmapImageRep::withLayout(layout);
    if (!rep) return nullptr;
    const auto rowBytes = static_cast<std::size_t>(rep->bytesPerRow());
    for (int y = 0; y < image.height(); ++y) {
        unsigned char* out = rep->bitmapData() + rowBytes * static_cast<std::size_t>(y);
        const uchar* in = image.constScanLine(y);
        if (image.format() == QImage::Format_RGBX64) {
            // Drop the filler channel: R, G, B of 16 bits each.
            for (int x = 0; x < image.width(); ++x)
                std::memcpy(out + 6 * x, in + 8 * x, 6);
        } else {
            std::memcpy(out, in, rowBytes);
        }
    }
    return rep;
}

ImageReps imageRepsWithData(const Data& data, std::string* reason) {
    QByteArray bytes = view(data);
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        if (reason) *reason = "image unreadable: " + reader.errorString().toStdString();
        return {};
    }
    auto rep = repack(image, fileIsGrey(data, image));
    if (!rep) {
        if (reason) *reason = "image too large to convert";
        return {};
    }
    return {rep};
}

} // namespace

ImageRepClass qtImageRepClass() {
    return {"Qt", &canInitWithData, &imageRepsWithData};
}

} // namespace zeta::platform
