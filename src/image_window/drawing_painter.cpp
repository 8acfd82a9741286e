#include "image_window/drawing_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace zeta::imaging {

QImage qImageOf(const zeta::platform::Picture& picture) {
    const auto rep = picture.firstBitmapImageRep();
    if (!rep || !rep->bitmapData()) return {};
    if (rep->bitsPerPixel() == 24 && rep->bitsPerSample() == 8 && !rep->isPlanar())
        return QImage(rep->bitmapData(), static_cast<int>(rep->pixelsWide()), static_cast<int>(rep->pixelsHigh()),
                      static_cast<qsizetype>(rep->bytesPerRow()), QImage::Format_RGB888);
    return rep->qImage();
}

QColor qColorOf(const zeta::platform::Color& color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.alpha));
}

QImage paintDrawing(const Drawing& drawing) {
    const int w = std::max(1, static_cast<int>(std::ceil(drawing.size.width)));
    const int h = std::max(1, static_cast<int>(std::ceil(drawing.size.height)));
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    for (const auto& copy : drawing.copies) {
        if (!copy.picture) continue;
        const QImage source = qImageOf(*copy.picture);
        if (source.isNull()) continue;
        // Source and destination are y-up; Qt's rows run down.
        const QRectF from(copy.source.x, source.height() - copy.source.y - copy.source.height, copy.source.width,
                          copy.source.height);
        const QRectF to(copy.destination.x, h - copy.destination.y - copy.destination.height, copy.destination.width,
                        copy.destination.height);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(to, source, from);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    painter.translate(0, h);
    painter.scale(1, -1);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (const auto& stroke : drawing.strokes) {
        painter.setPen(QPen(qColorOf(stroke.color), 1));
        if (stroke.kind == Stroke::Kind::Circle) {
            painter.drawEllipse(QPointF(stroke.centre.x, stroke.centre.y), stroke.radius, stroke.radius);
            continue;
        }
        if (stroke.points.empty()) continue;
        QPainterPath path(QPointF(stroke.points.front().x, stroke.points.front().y));
        for (std::size_t i = 1; i < stroke.points.size(); ++i)
            path.lineTo(stroke.points[i].x, stroke.points[i].y);
        painter.drawPath(path);
    }
    return out;
}

} // namespace zeta::imaging
