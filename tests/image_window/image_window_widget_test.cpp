// The image window's widgets, offscreen: mouse input of the picture view, its overlay
// geometry, the centring scroll view, and real frames (a simulator FITS frame, a camera raw
// file) shown with the imaging core's statistics.

#include "frames.h"
#include "image_window/centering_view.h"
#include "image_window/clickable_view.h"
#include "image_window/image_window.h"
#include "platform/constants.h"
#include "platform/image/tiff_bytes.h"
#include "support/qt_application.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using zeta::imaging::Point;
using zeta::imaging::Rect;

namespace {

using test_support::application;

struct Event {
    std::string kind;
    Point point;
    Rect rect;
    bool finished = false;
};

struct RecordingDelegate : ClickableViewDelegate {
    std::vector<Event> events;
    void selectedWithPoint(Point p) override { events.push_back({"selected", p, {}, false}); }
    void draggedWithRect(Rect r, bool finished) override { events.push_back({"dragged", {}, r, finished}); }
    void deselected() override { events.push_back({"deselected", {}, {}, false}); }
    void movedWithPoint(Point p) override { events.push_back({"moved", p, {}, false}); }
    void exited() override { events.push_back({"exited", {}, {}, false}); }
};

class WidgetTest : public ::testing::Test {
protected:
    void SetUp() override { application(); }

    // A mouse event at a position in widget coordinates (fractions kept).
    static void send(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, w->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }
};

TEST_F(WidgetTest, ClickAndDragSequences) {
    ClickableView view;
    RecordingDelegate delegate;
    view.setDelegate(&delegate);
    view.setFrameSize({200, 100});
    view.show();
    // Widget y runs down: view point (x, y) is at widget (x, 100 - y).
    const auto at = [](double x, double y) {
        return QPointF(x, 100 - y);
    };
    struct Case {
        const char* name;
        QPointF down, up;
        std::vector<QPointF> moves;
        Event last;
        std::size_t count;
    } cases[] = {
        {"click", at(30, 40), at(30, 40), {}, {"selected", {30, 40}, {}, false}, 1},
        {"drag clipped to the view", at(50, 50), at(-20, 300), {at(60, 70)}, {"dragged", {}, {0, 50, 50, 50}, true}, 2},
        {"half a point is a drag", at(30, 40), at(30.5, 40), {}, {"dragged", {}, {30, 40, 0.5, 0}, true}, 1},
    };
    for (const auto& c : cases) {
        delegate.events.clear();
        send(&view, QEvent::MouseButtonPress, c.down, Qt::LeftButton, Qt::LeftButton);
        for (const auto& m : c.moves)
            send(&view, QEvent::MouseMove, m, Qt::NoButton, Qt::LeftButton);
        send(&view, QEvent::MouseButtonRelease, c.up, Qt::LeftButton, Qt::NoButton);
        ASSERT_EQ(delegate.events.size(), c.count) << c.name;
        const auto& e = delegate.events.back();
        EXPECT_EQ(e.kind, c.last.kind) << c.name;
        EXPECT_EQ(e.point, c.last.point) << c.name;
        EXPECT_EQ(e.rect, c.last.rect) << c.name;
        EXPECT_EQ(e.finished, c.last.finished) << c.name;
        EXPECT_FALSE(view.downPoint()) << c.name;
    }
    // A drag step reports the rectangle with the flag off.
    delegate.events.clear();
    send(&view, QEvent::MouseButtonPress, at(10, 10), Qt::LeftButton, Qt::LeftButton);
    send(&view, QEvent::MouseMove, at(4, 30), Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(delegate.events.size(), 1u);
    EXPECT_EQ(delegate.events[0].rect, (Rect{4, 10, 6, 20}));
    EXPECT_FALSE(delegate.events[0].finished);
    send(&view, QEvent::MouseButtonRelease, at(4, 30), Qt::LeftButton, Qt::NoButton);

    // Right button: deselected. A release without a press sends nothing.
    delegate.events.clear();
    send(&view, QEvent::MouseButtonPress, at(5, 5), Qt::RightButton, Qt::RightButton);
    send(&view, QEvent::MouseButtonRelease, at(5, 5), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(delegate.events.size(), 1u);
    EXPECT_EQ(delegate.events[0].kind, "deselected");

    // Without a delegate a press records nothing.
    view.setDelegate(nullptr);
    send(&view, QEvent::MouseButtonPress, at(5, 5), Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(view.downPoint());
}

TEST_F(WidgetTest, MovesInsideTheVisiblePartOnly) {
    CenteringView scroll;
    scroll.resize(100, 100);
    auto* view = new ClickableView;
    scroll.setWidget(view);
    view->setFrameSize({400, 400});
    RecordingDelegate delegate;
    view->setDelegate(&delegate);
    scroll.show();
    QApplication::processEvents();
    send(view, QEvent::MouseMove, QPointF(20, 30), Qt::NoButton, Qt::NoButton);
    send(view, QEvent::MouseMove, QPointF(300, 300), Qt::NoButton, Qt::NoButton);
    ASSERT_EQ(delegate.events.size(), 2u);
    EXPECT_EQ(delegate.events[0].kind, "moved");
    EXPECT_EQ(delegate.events[0].point, (Point{20, 370}));
    EXPECT_EQ(delegate.events[1].kind, "exited");
}

TEST_F(WidgetTest, OverlayGeometry) {
    ClickableOverlay overlay;
    overlay.scale = 2;
    overlay.frame = {200, 100};
    overlay.guide1 = {10, 20};
    auto strokes = overlayStrokes(overlay);
    ASSERT_EQ(strokes.size(), 4u);
    EXPECT_EQ(strokes[0].points, (std::vector<Point>{{0, 10.25}, {0.25, 10.25}}));
    EXPECT_EQ(strokes[1].points, (std::vector<Point>{{10.25, 10.25}, {200, 10.25}}));
    EXPECT_EQ(strokes[2].points, (std::vector<Point>{{5.25, 0}, {5.25, 5.25}}));
    EXPECT_EQ(strokes[3].points, (std::vector<Point>{{5.25, 15.25}, {5.25, 100}}));
    EXPECT_EQ(strokes[0].color, GRAPH_COLOR_1());

    ClickableOverlay marker;
    marker.scale = 0.5;
    marker.pointMarker = Point{10, 20};
    marker.frameMarker = Rect{2, 4, 6, 8};
    strokes = overlayStrokes(marker);
    ASSERT_EQ(strokes.size(), 5u);
    EXPECT_EQ(strokes[0].points, (std::vector<Point>{{6, 39}, {18, 39}}));
    EXPECT_EQ(strokes[3].points, (std::vector<Point>{{21, 54}, {21, 42}}));
    EXPECT_EQ(strokes[4].points, (std::vector<Point>{{4, 8}, {16, 8}, {16, 24}, {4, 24}, {4, 8}}));

    ClickableOverlay crosshair;
    crosshair.frame = {200, 100};
    crosshair.showCrosshair = true;
    EXPECT_TRUE(overlayStrokes(crosshair).empty()); // scale 0: no picture yet
    crosshair.scale = 1;
    strokes = overlayStrokes(crosshair);
    ASSERT_EQ(strokes.size(), 4u);
    EXPECT_EQ(strokes[0].points, (std::vector<Point>{{0, 50}, {95, 50}}));
    EXPECT_EQ(strokes[3].points, (std::vector<Point>{{100, 55}, {100, 100}}));
}

TEST_F(WidgetTest, SmallPictureSitsInTheMiddle) {
    EXPECT_EQ(CenteringView::constrainBoundsOrigin({0, 0, 300, 200}, {0, 0}, {100, 50}), (Point{-100, -75}));
    EXPECT_EQ(CenteringView::constrainBoundsOrigin({40, 30, 300, 200}, {40, 30}, {1000, 500}), (Point{40, 30}));
    CenteringView scroll;
    scroll.resize(300, 200);
    auto* view = new ClickableView;
    scroll.setWidget(view);
    view->setFrameSize({100, 50});
    scroll.show();
    QApplication::processEvents();
    EXPECT_EQ(view->pos(), QPoint(100, 75));
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(WidgetTest, RealFramesShowTheCoresStatistics) {
    registerDecoders();
    ImageController controller;
    ImageWindow window(controller);
    window.resize(900, 600);
    window.show();
    QApplication::processEvents();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string format;
        int width, height;
    } cases[] = {
        {"simulator FITS", fileBytes(ZETA_SOURCE_DIR "/tests/data/imaging/simulator_ccd_96x64.fits"), ".fits", 96, 64},
        {"camera raw", tiff_bytes::dng(64, 48), ".dng", 64, 48},
    };
    for (auto& c : cases) {
        const auto image = std::make_shared<Image>(zeta::platform::Data(std::move(c.bytes)), c.format);
        ASSERT_EQ(image->width(), c.width) << c.name;
        controller.setImage(image);
        const auto text = [&](zeta::imaging::Field f) {
            return window.fieldLabel(f)->text().toStdString();
        };
        EXPECT_EQ(text(zeta::imaging::Field::FrameSize), std::to_string(c.width) + " x " + std::to_string(c.height));
        EXPECT_EQ(text(zeta::imaging::Field::Min), formatInteger(image->min())) << c.name;
        EXPECT_EQ(text(zeta::imaging::Field::Max), formatInteger(image->max())) << c.name;
        EXPECT_EQ(text(zeta::imaging::Field::Average), formatInteger(image->average())) << c.name;
        EXPECT_EQ(text(zeta::imaging::Field::Median),
                  (image->bitsPerPixel() == 16 ? "~ " : "") + formatInteger(image->median()))
            << c.name;
        EXPECT_EQ(window.clickableView()->scale(), controller.zoom());
        // Painted: the picture's middle pixel is the rendering's.
        const QImage shot = window.clickableView()->grab().toImage();
        EXPECT_FALSE(shot.isNull());
        // The readout under the cursor.
        QTest::mouseMove(window.clickableView(), QPoint(5, 5));
        EXPECT_NE(text(zeta::imaging::Field::SelectedPixel).find("] = "), std::string::npos) << c.name;
    }
    // The drift and Bahtinov buttons open their panels.
    QTest::mouseClick(window.findChild<QPushButton*>("showDriftButton"), Qt::LeftButton);
    EXPECT_TRUE(window.driftPanel()->isVisible());
    QTest::mouseClick(window.findChild<QPushButton*>("showBahtinovButton"), Qt::LeftButton);
    EXPECT_TRUE(window.bahtinovPanel()->isVisible());
}

TEST_F(WidgetTest, TheSelectStarsSwitchLetsClicksAndDragsSelect) {
    DEFAULTS().removeObjectForKey("enableMarkers");
    ZTImageController controller;
    ImageWindow window(controller);
    window.resize(700, 400);
    window.show();
    QApplication::processEvents();
    controller.setImage(starFrame(50, 50));
    QTest::mouseClick(window.findChild<QPushButton*>("actualSizeButton"), Qt::LeftButton);
    ClickableView* picture = window.clickableView();
    ASSERT_EQ(picture->height(), 100);
    // Widget y runs down: the star's centre pixel (50, 50) is at widget (50, 100 - 50).
    const QPoint star(50, 50);
    auto* button = window.findChild<QToolButton*>("selectStarsButton");
    ASSERT_NE(button, nullptr);
    const auto fwhm = [&] {
        return window.fieldLabel(zeta::imaging::Field::Fwhm)->text();
    };

    // Off at the first launch: a click selects nothing.
    EXPECT_FALSE(button->isChecked());
    QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, star);
    EXPECT_FALSE(controller.selectedStar());
    EXPECT_EQ(fwhm(), "--");

    // The button switches it on, and the menu's action with it.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(window.selectStarsAction()->isChecked());
    QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, star);
    ASSERT_TRUE(controller.selectedStar());
    EXPECT_NE(fwhm(), "--");
    // A right-click deselects.
    QTest::mouseClick(picture, Qt::RightButton, Qt::NoModifier, star);
    EXPECT_FALSE(controller.selectedStar());
    EXPECT_EQ(fwhm(), "--");
    // A drag selects a rectangle.
    QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(picture, QPoint(40, 30));
    QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
    EXPECT_TRUE(controller.frameMarker());
    EXPECT_EQ(window.fieldLabel(zeta::imaging::Field::SelectedPixel)->text(), "[30, 20]");

    // The shortcut switches it off again; the button shows it.
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(button->isChecked());
    EXPECT_FALSE(controller.enableMarkers());
    QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, star);
    EXPECT_FALSE(controller.selectedStar());
    DEFAULTS().removeObjectForKey("enableMarkers");
}

TEST_F(WidgetTest, StretchControlsForwardTheUsersChanges) {
    ImageController controller;
    ImageWindow window(controller);
    window.show();
    controller.setImage(greyFrame(40, 30, 16, [](int x, int) { return x * 1000; }));
    auto* slider = window.findChild<QSlider*>("blackPointSlider");
    auto* stepper = window.findChild<QSpinBox*>("blackPointStepper");
    EXPECT_EQ(slider->maximum(), 65280);
    EXPECT_EQ(stepper->singleStep(), 256);
    // Dragged: the numbers follow, the frame waits for the release.
    slider->setSliderDown(true);
    slider->setValue(1000);
    EXPECT_EQ(stepper->value(), 768);
    EXPECT_NE(controller.current()->blackPoint(), 768);
    slider->setSliderDown(false);
    EXPECT_EQ(controller.current()->blackPoint(), 768);
    EXPECT_FALSE(window.findChild<QPushButton*>("automaticStretchButton")->isChecked());
    stepper->setValue(2048);
    EXPECT_EQ(controller.current()->blackPoint(), 2048);
    EXPECT_EQ(slider->value(), 2048);
}

} // namespace
