#pragma once
// FocusButton: the press-and-hold focus button. It reports the mouse press and release
// themselves to its controller, so leaving and re-entering the held button is not a new press,
// and a release outside the button still ends the move.

#include "focus/focus_rules.h"

#include <QPushButton>

namespace zeta::focus {

class FocuserController;

class FocusButton : public QPushButton {
    Q_OBJECT
public:
    FocusButton(const QString& text, Direction direction, QWidget* parent = nullptr);

    void setFocuserController(FocuserController* controller) { focuserController_ = controller; }
    Direction direction() const { return direction_; }
    // True only while the left mouse button is down on it.
    bool isPressed() const { return isPressed_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    FocuserController* focuserController_ = nullptr;
    Direction direction_;
    bool isPressed_ = false;
};

} // namespace zeta::focus
