#include "camera/elided_label.h"

#include <QPainter>

namespace zeta::camera {

namespace {
constexpr int kPreferredWidth = 120;
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

QSize ElidedLabel::sizeHint() const {
    return {kPreferredWidth, QLabel::sizeHint().height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect room = contentsRect();
    painter.drawText(room, static_cast<int>(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
}

} // namespace zeta::camera
