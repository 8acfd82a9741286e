#include "focus/focus_button.h"

#include "focus/focuser_controller.h"

#include <QMouseEvent>

namespace zeta::focus {

FocusButton::FocusButton(const QString& text, Direction direction, QWidget* parent)
    : QPushButton(text, parent), direction_(direction) {}

void FocusButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !isPressed_) {
        isPressed_ = true;
        if (focuserController_) focuserController_->focusAction(direction_, true);
    }
    QPushButton::mousePressEvent(event);
}

void FocusButton::mouseReleaseEvent(QMouseEvent* event) {
    QPushButton::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && isPressed_) {
        isPressed_ = false;
        if (focuserController_) focuserController_->focusAction(direction_, false);
    }
}

} // namespace zeta::focus
