#include "platform/gui/named_image.h"

#include <QColor>
#include <QPainter>
#include <QRadialGradient>

namespace zeta::platform {

std::string_view statusImageNameForState(int state) {
    switch (state) {
    case 1:
        return kStatusAvailable;
    case 2:
        return kStatusPartiallyAvailable;
    case 3:
        return kStatusUnavailable;
    default:
        return kStatusNone;
    }
}

QImage namedImage(std::string_view name, int size) {
    QColor color;
    if (name == kStatusNone) {
        color = QColor(160, 160, 160);
    } else if (name == kStatusAvailable) {
        color = QColor(52, 199, 89);
    } else if (name == kStatusPartiallyAvailable) {
        color = QColor(255, 204, 0);
    } else if (name == kStatusUnavailable) {
        color = QColor(255, 59, 48);
    } else {
        return {};
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(1, 1, size - 2, size - 2);
    QRadialGradient shine(bounds.center() - QPointF(size / 6.0, size / 6.0), size / 1.5);
    shine.setColorAt(0, color.lighter(150));
    shine.setColorAt(1, color);
    painter.setBrush(shine);
    painter.setPen(QPen(color.darker(140), 1));
    painter.drawEllipse(bounds);
    return image;
}

} // namespace zeta::platform
