#include "journey_picture.h"

#include "image_window/clickable_view.h"
#include "journey_user.h"

#include <QApplication>
#include <QTest>
#include <cmath>

namespace journey {
namespace {

ClickableView& picture() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (auto* view : window->findChildren<ClickableView*>())
            if (view->isVisible()) return *view;
    }
    throw JourneyError("no picture on the screen");
}

} // namespace

QPoint JourneyPicture::at(double column, double row) {
    const double scale = picture().scale();
    if (!(scale > 0)) throw JourneyError("the picture shows no frame");
    // The widget's rows run down like the frame's; one widget point covers `scale` pixels.
    return QPoint(static_cast<int>(std::lround((column + 0.5) / scale)),
                  static_cast<int>(std::lround((row + 0.5) / scale)));
}

void JourneyPicture::click(double column, double row, Qt::MouseButton button) {
    QTest::mouseClick(&picture(), button, Qt::NoModifier, at(column, row));
    JourneyUser::idle(std::chrono::milliseconds(50));
}

void JourneyPicture::drag(double fromColumn, double fromRow, double toColumn, double toRow) {
    ClickableView& view = picture();
    const QPoint from = at(fromColumn, fromRow), to = at(toColumn, toRow);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&view, (from + to) / 2);
    QTest::mouseMove(&view, to);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, to);
    JourneyUser::idle(std::chrono::milliseconds(50));
}

} // namespace journey
