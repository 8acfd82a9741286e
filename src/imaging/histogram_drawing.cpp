#include "imaging/histogram_drawing.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>

std::shared_ptr<platform::Picture> drawHistogram(const std::array<std::int64_t, 256>& histo) {
    constexpr int kWidth = 256;
    constexpr int kHeight = 128;
    const double largest = static_cast<double>(*std::max_element(histo.begin(), histo.end()));
    // Never 0 for a whole-number count; negative when the largest count is 0 or 1, which
    // puts the curve outside the picture.
    const double k = (std::log(largest + 1) - 1) / 127;

    QPainterPath path;
    path.moveTo(0, 0);
    for (int level = 0; level < 256; ++level) {
        const double y = std::log(static_cast<double>(histo[static_cast<std::size_t>(level)]) + 1) / k + 1;
        // At most a few thousand points away; the bound only keeps the path finite.
        path.lineTo(level, std::clamp(y, -1e6, 1e6));
    }
    path.lineTo(255, 0);
    path.closeSubpath();

    QImage drawing(kWidth, kHeight, QImage::Format_RGBA8888);
    drawing.fill(Qt::transparent);
    {
        QPainter painter(&drawing);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(0, kHeight);
        painter.scale(1, -1);
        painter.fillPath(path, Qt::black);
    }

    platform::BitmapLayout layout;
    layout.pixelsWide = kWidth;
    layout.pixelsHigh = kHeight;
    layout.samplesPerPixel = 4;
    layout.hasAlpha = true;
    layout.colorSpaceName = platform::ColorSpace::DeviceRGB;
    layout.bitmapFormat = platform::BitmapFormatAlphaNonpremultiplied;
    auto rep = platform::BitmapImageRep::withLayout(layout);
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(rep->bitmapData() + static_cast<std::size_t>(y) * kWidth * 4, drawing.constScanLine(y), kWidth * 4);
    return std::make_shared<platform::Picture>(rep);
}
