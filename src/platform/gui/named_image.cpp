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

namespace {

// "Bat" (level unknown) and "Bat0" to "Bat100": a battery outline filled to its level.
QImage batteryImage(std::string_view name, int size) {
    int level = -1;
    if (name == "Bat0")
        level = 0;
    else if (name == "Bat25")
        level = 25;
    else if (name == "Bat50")
        level = 50;
    else if (name == "Bat75")
        level = 75;
    else if (name == "Bat100")
        level = 100;
    else if (name != "Bat")
        return {};
    QImage image(size * 2, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor outline(90, 90, 90);
    const QRectF body(1, size * 0.2, size * 2 - size * 0.25 - 2, size * 0.6);
    painter.setPen(QPen(outline, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, 2, 2);
    painter.setBrush(outline);
    painter.drawRect(QRectF(body.right() + 0.5, size * 0.38, size * 0.2, size * 0.24));
    if (level > 0) {
        const QColor fill = level <= 25 ? QColor(255, 59, 48) : QColor(52, 199, 89);
        QRectF inside = body.adjusted(2, 2, -2, -2);
        inside.setWidth(inside.width() * level / 100.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRect(inside);
    } else if (level < 0) {
        painter.setPen(QPen(outline, 1));
        painter.drawText(body, Qt::AlignCenter, "?");
    }
    return image;
}

} // namespace

QImage namedImage(std::string_view name, int size) {
    if (name.substr(0, 3) == "Bat") return batteryImage(name, size);
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
