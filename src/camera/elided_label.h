#pragma once
// A one-line label that never widens its window: a text longer than the room it is given is
// drawn with an ellipsis in the middle, and the whole text stays its text (and its tooltip).

#include <QLabel>

namespace zeta::camera {

class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zeta::camera
