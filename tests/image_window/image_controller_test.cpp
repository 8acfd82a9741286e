// The image window's decisions, through a recording view: display update, stretch controls,
// zoom, selection and tracking, histories and the focus-analysis panels.

#include "image_window/image_controller.h"

#include "Common/indigo_client.h"
#include "bahtinov_pattern.h"
#include "frames.h"
#include "image_window/bahtinov_focus.h"
#include "platform/constants.h"
#include "recording_view.h"

#include <gtest/gtest.h>
#include <thread>

using zeta::imaging::Control;
using zeta::imaging::Field;
using zeta::imaging::Panel;
using zeta::imaging::PictureOutlet;
using zeta::imaging::Point;
using zeta::imaging::Rect;

namespace {

struct Sensor : zeta::imaging::CameraSensor {
    std::int64_t w = 0, h = 0;
    std::int64_t ccdWidth() const override { return w; }
    std::int64_t ccdHeight() const override { return h; }
};

class ImageControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto* key : {"guideX1", "guideY1", "aperture", "focalLength", "pixelSize", "binning"})
            DEFAULTS().removeObjectForKey(key);
        controller.setView(&view);
        controller.awakeFromNib();
    }

    // Shows a star frame at actual size and clicks the star.
    void selectStar(int sx, int sy) {
        controller.setImage(starFrame(sx, sy));
        controller.zoomActualSizeAction();
        controller.selectedWithPoint({sx + 0.5, sy - 0.5});
        ASSERT_TRUE(controller.selectedStar());
    }

    RecordingView view;
    ImageController controller;
};

TEST_F(ImageControllerTest, DisplayUpdateShowsTheFramesFigures) {
    Sensor sensor;
    sensor.w = 120;
    sensor.h = 100;
    controller.setCameraController(&sensor);
    const auto frame = starFrame(40, 40);
    controller.setImage(frame);
    EXPECT_EQ(view.texts[Field::FrameSize], "120 x 100");
    EXPECT_EQ(view.colors[Field::FrameSize], zeta::platform::Color::black());
    EXPECT_EQ(view.texts[Field::Min], formatInteger(frame->min()));
    EXPECT_EQ(view.texts[Field::Max], formatInteger(frame->max()));
    EXPECT_EQ(view.texts[Field::Average], formatInteger(frame->average()));
    EXPECT_EQ(view.texts[Field::Median], formatInteger(frame->median()));
    EXPECT_EQ(view.histogram, frame->histogram());
    for (const auto c : {Control::ZoomIn, Control::ZoomToFit, Control::ActualSize, Control::ZoomOut,
                         Control::AutomaticStretch, Control::BlackSlider, Control::WhiteStepper})
        EXPECT_TRUE(view.enabled[c]);
    // Automatic stretch: the frame's own points, in the frame and every control.
    EXPECT_EQ(frame->blackPoint(), frame->autoBlackPoint());
    EXPECT_EQ(frame->whitePoint(), frame->autoWhitePoint());
    EXPECT_EQ(view.values[Control::WhiteSlider], static_cast<double>(frame->autoWhitePoint()));
    EXPECT_EQ(view.texts[Field::BlackPoint], formatInteger(frame->autoBlackPoint()));

    // A binned frame: other size than the sensor, shown red; the 16-bit median gets "~ ".
    const auto binned = greyFrame(60, 50, 16, [](int x, int) { return 1000 + 10 * x; });
    controller.setImage(binned);
    EXPECT_EQ(view.texts[Field::FrameSize], "60 x 50");
    EXPECT_EQ(view.colors[Field::FrameSize], zeta::platform::Color::systemRed());
    EXPECT_EQ(view.texts[Field::Median], "~ " + formatInteger(binned->median()));

    // No frame: the zoom buttons go off and the old picture stays.
    const auto shown = view.rendering;
    controller.setImage(nullptr);
    for (const auto c : {Control::ZoomIn, Control::ZoomToFit, Control::ActualSize, Control::ZoomOut})
        EXPECT_FALSE(view.enabled[c]);
    EXPECT_EQ(view.rendering, shown);
    EXPECT_EQ(view.texts[Field::FrameSize], "60 x 50");
}

TEST_F(ImageControllerTest, AFrameThatDoesNotDecodeKeepsTheLastPictureAndSaysWhy) {
    const auto client = std::make_shared<INDIGO>();
    controller.setIndigo(client);
    const auto good = starFrame(40, 40);
    controller.setImage(good);
    const auto texts = view.texts;
    const auto rendering = view.rendering;
    const auto histogram = view.histogram;

    const auto undecodable = std::make_shared<Image>(zeta::platform::Data("not a frame", 11), ".png");
    ASSERT_FALSE(undecodable->decodeFailure().empty());
    controller.setImage(undecodable);
    EXPECT_EQ(controller.current(), good);
    EXPECT_EQ(view.texts, texts);
    EXPECT_EQ(view.rendering, rendering);
    EXPECT_EQ(view.histogram, histogram);
    EXPECT_TRUE(view.enabled[Control::ZoomIn]);
    const auto log = client->messages();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("frame (.png, 11 bytes)"), std::string::npos) << log.back();
    EXPECT_NE(log.back().find(undecodable->decodeFailure()), std::string::npos) << log.back();
}

TEST_F(ImageControllerTest, StretchControlsFollowTheFramesDepth) {
    const auto eight = [] {
        return greyFrame(40, 30, 8, [](int x, int) { return x * 5; });
    };
    controller.setImage(eight());
    view.values[Control::BlackSlider] = 10;
    controller.blackPointAction(StretchSender::Slider, true);
    view.values[Control::WhiteSlider] = 200;
    controller.whitePointAction(StretchSender::Slider, true);
    EXPECT_FALSE(controller.automaticStretch());
    EXPECT_FALSE(view.states[Control::AutomaticStretch]);

    const auto deep = greyFrame(40, 30, 16, [](int x, int) { return x * 1000; });
    controller.setImage(deep);
    for (const auto& [c, v] : std::map<Control, double>{{Control::BlackSlider, 2560},
                                                        {Control::BlackStepper, 2560},
                                                        {Control::WhiteSlider, 51200},
                                                        {Control::WhiteStepper, 51200}}) {
        EXPECT_EQ(view.values[c], v);
        EXPECT_EQ(view.maxima[c], 65280);
    }
    EXPECT_EQ(view.increments[Control::BlackStepper], 256);
    EXPECT_EQ(deep->blackPoint(), 2560);
    EXPECT_EQ(deep->whitePoint(), 51200);

    // A 16-bit slider value rounds down to a multiple of 256; the frame follows at release.
    view.values[Control::BlackSlider] = 1000;
    controller.blackPointAction(StretchSender::Slider, false);
    EXPECT_EQ(view.values[Control::BlackStepper], 768);
    EXPECT_EQ(view.texts[Field::BlackPoint], "768");
    EXPECT_EQ(deep->blackPoint(), 2560);
    controller.blackPointAction(StretchSender::Slider, true);
    EXPECT_EQ(deep->blackPoint(), 768);
    // The stepper's value goes to the slider, the field and the frame at once.
    view.values[Control::WhiteStepper] = 40000;
    controller.whitePointAction(StretchSender::Stepper);
    EXPECT_EQ(view.values[Control::WhiteSlider], 40000);
    EXPECT_EQ(deep->whitePoint(), 40000);
    // Written as the statistics beside it are.
    EXPECT_EQ(view.texts[Field::WhitePoint], formatInteger(40000));

    view.values[Control::BlackSlider] = view.values[Control::BlackStepper] = 2560;
    view.values[Control::WhiteSlider] = view.values[Control::WhiteStepper] = 51200;
    const auto back = eight();
    controller.setImage(back);
    EXPECT_EQ(view.values[Control::BlackSlider], 10);
    EXPECT_EQ(view.values[Control::WhiteStepper], 200);
    EXPECT_EQ(view.maxima[Control::WhiteSlider], 255);
    EXPECT_EQ(view.increments[Control::WhiteStepper], 1);
    EXPECT_EQ(back->blackPoint(), 10);
    EXPECT_EQ(back->whitePoint(), 200);

    controller.automaticStretchAction();
    EXPECT_TRUE(controller.automaticStretch());
    EXPECT_EQ(back->blackPoint(), back->autoBlackPoint());
}

TEST_F(ImageControllerTest, ZoomBoundsAndFitFigures) {
    const auto wide = greyFrame(4000, 2000, 8, [](int, int) { return 7; });
    controller.setImage(wide);
    EXPECT_DOUBLE_EQ(controller.zoom(), 4000.0 / 994);
    EXPECT_DOUBLE_EQ(view.frame.width, 994);
    controller.zoomToFitAction();
    EXPECT_DOUBLE_EQ(controller.zoom(), 4000.0 / 990);
    EXPECT_TRUE(view.states[Control::ZoomToFit]);
    controller.zoomOutAction();
    EXPECT_EQ(controller.zoom(), 8);
    EXPECT_FALSE(controller.zoomToFit());
    controller.zoomOutAction();
    EXPECT_EQ(controller.zoom(), 8);
    controller.zoomActualSizeAction();
    EXPECT_EQ(controller.zoom(), 1);
    EXPECT_TRUE(view.states[Control::ActualSize]);
    for (const double expected : {0.5, 0.25, 0.25}) {
        controller.zoomInAction();
        EXPECT_EQ(controller.zoom(), expected);
    }
    EXPECT_EQ(view.scale, 0.25);
    EXPECT_EQ(view.frame.width, 16000);
    // A resize refits only while zoom to fit is on.
    view.scrollSize = {510, 510};
    controller.windowDidResize();
    EXPECT_EQ(controller.zoom(), 0.25);
    controller.zoomToFitAction();
    view.scrollSize = {2010, 1010};
    controller.windowDidResize();
    EXPECT_DOUBLE_EQ(controller.zoom(), 2);
}

TEST_F(ImageControllerTest, FittingIntoATinyScrollViewKeepsZoomFiniteAndTheClickBounded) {
    for (const auto size : {zeta::imaging::Size{0, 0}, zeta::imaging::Size{3, 8}, zeta::imaging::Size{-50, 2}}) {
        view.scrollSize = size;
        controller.setImage(starFrame(50, 50));
        EXPECT_TRUE(std::isfinite(controller.zoom()));
        EXPECT_GT(controller.zoom(), 0);
        EXPECT_LE(controller.zoom(), 120);
        controller.zoomToFitAction();
        EXPECT_TRUE(std::isfinite(controller.zoom()));
        EXPECT_GT(controller.zoom(), 0);
        // Five view points are hundreds of pixels here: the search stays bounded and finds
        // the star.
        controller.selectedWithPoint({50 / controller.zoom(), 50 / controller.zoom()});
        EXPECT_TRUE(controller.selectedStar());
    }
}

TEST_F(ImageControllerTest, StarIsTrackedWithinFivePixelsAndLostAtSix) {
    selectStar(50, 50);
    EXPECT_EQ(view.pointMarker, (Point{50, 50}));
    struct Step {
        int x, y;
        bool kept;
    } steps[] = {{55, 50, true}, {55, 45, true}, {60, 50, true}, {65, 55, true}, {71, 55, false}};
    for (const auto& s : steps) {
        controller.setImage(starFrame(s.x, s.y));
        EXPECT_EQ(controller.selectedStar().has_value(), s.kept) << s.x << ", " << s.y;
        if (s.kept) {
            EXPECT_EQ(view.pointMarker, (Point{double(s.x), double(s.y)}));
        } else {
            EXPECT_FALSE(view.pointMarker);
            EXPECT_EQ(view.texts[Field::Fwhm], "--");
            EXPECT_FALSE(controller.fwhmValue());
        }
    }
    // Moved by six along y: lost as well.
    selectStar(50, 50);
    controller.setImage(starFrame(50, 56));
    EXPECT_FALSE(controller.selectedStar());
    // A frame of another size drops the selection before anything is searched.
    selectStar(50, 50);
    controller.setImage(starFrame(50, 50, 121, 100));
    EXPECT_FALSE(controller.selectedStar());
}

TEST_F(ImageControllerTest, ClicksDragsAndTheReadout) {
    selectStar(50, 50);
    controller.setImage(starFrame(50, 50));
    EXPECT_EQ(controller.driftHistory().size(), 1u);
    EXPECT_TRUE(controller.fwhmValue());
    EXPECT_EQ(controller.peakValue(), controller.selectedStar()->max);
    // A click on empty sky keeps the star but empties the histories.
    controller.selectedWithPoint({10.5, 90.5});
    EXPECT_TRUE(controller.selectedStar());
    EXPECT_TRUE(controller.driftHistory().empty());
    // Emptied, then the kept star is analysed again.
    EXPECT_EQ(controller.fwhmHistory().size(), 1u);

    controller.zoomOutAction(); // zoom 2
    controller.draggedWithRect({4, 10, 6, 20}, false);
    EXPECT_EQ(view.frameMarker, (Rect{8, 20, 12, 40}));
    EXPECT_FALSE(view.pointMarker);
    EXPECT_FALSE(controller.selectedStar());
    EXPECT_EQ(view.texts[Field::SelectedPixel], "[12, 40]");

    // The readout: grey value; a point on no pixel (y below 1) leaves the text.
    controller.movedWithPoint({25.2, 25.2});
    EXPECT_EQ(view.texts[Field::SelectedPixel], "[50, 50] = 65");
    controller.movedWithPoint({3, 0.4});
    EXPECT_EQ(view.texts[Field::SelectedPixel], "[50, 50] = 65");
    controller.exited();
    EXPECT_EQ(view.texts[Field::SelectedPixel], "--");

    controller.deselected();
    EXPECT_FALSE(view.frameMarker);
    EXPECT_EQ(view.texts[Field::Peak], "--");
}

TEST_F(ImageControllerTest, ProductWindowStartsWithMarkersOff) {
    DEFAULTS().removeObjectForKey("enableMarkers");
    RecordingView productView;
    ZTImageController product;
    product.setView(&productView);
    product.awakeFromNib();
    EXPECT_FALSE(product.enableMarkers());
    product.setImage(starFrame(50, 50));
    product.zoomActualSizeAction();
    product.selectedWithPoint({50.5, 49.5});
    product.draggedWithRect({1, 1, 60, 60}, true);
    EXPECT_FALSE(product.selectedStar());
    EXPECT_FALSE(productView.frameMarker);
    product.movedWithPoint({50.5, 50.5});
    EXPECT_EQ(productView.texts[Field::SelectedPixel], "[50, 50] = 65");
}

// The plate solver follows the shown image through this hook: every replacement counts, a
// frame of the same size and no frame alike.
TEST_F(ImageControllerTest, EveryImageReplacementIsAnnounced) {
    std::vector<std::shared_ptr<Image>> seen;
    controller.setImageChanged([&] { seen.push_back(controller.current()); });
    const auto first = starFrame(50, 50), second = starFrame(50, 50);
    controller.setImage(first);
    controller.setImage(second);
    controller.setImage(nullptr);
    EXPECT_EQ(seen, (std::vector<std::shared_ptr<Image>>{first, second, nullptr}));
}

TEST_F(ImageControllerTest, TheSelectionSwitchIsKeptForTheNextLaunch) {
    DEFAULTS().removeObjectForKey("enableMarkers");
    {
        RecordingView firstView;
        ZTImageController first;
        first.setView(&firstView);
        first.awakeFromNib();
        EXPECT_FALSE(firstView.states[Control::SelectStars]);
        first.enableMarkersAction(true);
        EXPECT_TRUE(firstView.states[Control::SelectStars]);
        first.setImage(starFrame(50, 50));
        first.zoomActualSizeAction();
        first.selectedWithPoint({50.5, 49.5});
        ASSERT_TRUE(first.selectedStar());
        // Switching off stops new selections but keeps the star (autofocus may be using it).
        first.enableMarkersAction(false);
        EXPECT_TRUE(first.selectedStar());
        first.draggedWithRect({1, 1, 60, 60}, true);
        EXPECT_FALSE(firstView.frameMarker);
        first.enableMarkersAction(true);
    }
    // The stored choice reached the file, as a new process would read it.
    zeta::platform::UserDefaults stored(zeta::platform::UserDefaults::standardPath());
    EXPECT_TRUE(stored.boolForKey("enableMarkers", false));

    RecordingView nextView;
    ZTImageController next;
    next.setView(&nextView);
    next.awakeFromNib();
    EXPECT_TRUE(next.enableMarkers());
    EXPECT_TRUE(nextView.states[Control::SelectStars]);
    DEFAULTS().removeObjectForKey("enableMarkers");
}

TEST_F(ImageControllerTest, HistoriesAreBounded) {
    selectStar(50, 50);
    for (int i = 0; i < 103; ++i)
        controller.setImage(starFrame(50, 50));
    EXPECT_EQ(controller.fwhmHistory().size(), 101u);
    EXPECT_EQ(controller.hfdHistory().size(), 101u);
    EXPECT_EQ(controller.peakHistory().size(), 101u);
    const auto& psf = view.drawings[PictureOutlet::Psf];
    ASSERT_TRUE(psf);
    ASSERT_EQ(psf->strokes.size(), 3u);
    EXPECT_EQ(psf->strokes[0].points.size(), 101u);
    EXPECT_EQ(psf->strokes[0].points.back().x, 200);
    // Small FWHM against 5, a peak of 65 against 1000.
    EXPECT_DOUBLE_EQ(psf->strokes[0].points.back().y, *controller.fwhmValue() * 100 / 5);
    EXPECT_DOUBLE_EQ(psf->strokes[2].points.back().y, 6.5);
    for (int i = 0; i < 100; ++i)
        controller.setImage(starFrame(50, 50));
    EXPECT_EQ(controller.driftHistory().size(), 201u);

    // The detail view: a centred star's cross at (90, 90), circles of ten times the figures.
    const auto& detail = view.drawings[PictureOutlet::Detail];
    ASSERT_TRUE(detail);
    EXPECT_EQ(detail->copies[0].source, (Rect{46, 45, 9, 9}));
    EXPECT_EQ(detail->strokes[0].points[0], (Point{40, 90}));
    EXPECT_EQ(detail->strokes[1].points[1], (Point{90, 140}));
    EXPECT_DOUBLE_EQ(detail->strokes[2].radius, 10 * *controller.fwhmValue());
    EXPECT_DOUBLE_EQ(detail->strokes[3].radius, 10 * *controller.hfdValue());
}

TEST_F(ImageControllerTest, DriftPlotRangeAndSlopes) {
    view.visible[Panel::Drift] = true;
    selectStar(50, 50);
    controller.setImage(starFrame(50, 50));
    // One point: no slope, shown as "--", never nan.
    EXPECT_EQ(view.texts[Field::DriftAX], "X --");
    controller.setImage(starFrame(51, 50));
    auto plot = view.drawings[PictureOutlet::Drift];
    ASSERT_TRUE(plot);
    // Within a pixel of the first point: R = 1.05, grid at 50 -+ 50 / 1.05 and 50.
    ASSERT_GE(plot->strokes.size(), 4u);
    EXPECT_DOUBLE_EQ(plot->strokes[0].points[0].y, 50 + 50 / 1.05);
    EXPECT_DOUBLE_EQ(plot->strokes[1].points[0].y, 50);
    EXPECT_DOUBLE_EQ(plot->strokes[2].points[0].y, 50 - 50 / 1.05);
    for (int x = 52; x <= 54; ++x)
        controller.setImage(starFrame(x, 50));
    EXPECT_EQ(view.texts[Field::DriftAX], "X 1.0000");
    EXPECT_EQ(view.texts[Field::DriftBX], "Y 0.0000");
    plot = view.drawings[PictureOutlet::Drift];
    // R = 4: nine grid lines and the zero line; X drift clamped into the plot.
    EXPECT_EQ(plot->strokes.size(), 9u + 1 + 2);
    EXPECT_EQ(plot->strokes[10].points.back(), (Point{8, 0}));
}

TEST_F(ImageControllerTest, GuideLinesStoreTheStarsPosition) {
    selectStar(50, 50);
    controller.setGuideLines1();
    EXPECT_EQ(DEFAULTS().doubleForKey("guideX1", -1), 50);
    EXPECT_EQ(DEFAULTS().doubleForKey("guideY1", -1), 50);
    controller.removeSelection();
    controller.setGuideLines1();
    EXPECT_FALSE(DEFAULTS().objectForKey("guideX1"));
}

class BahtinovPanelTest : public ImageControllerTest {
protected:
    std::shared_ptr<Image> pattern(double defocus) {
        registerDecoders();
        bahtinov_pattern::Pattern p;
        p.defocus = defocus;
        return std::make_shared<Image>(testBitmap(p.width, p.height, 16, 1, 16, bytes16(bahtinov_pattern::render(p))),
                                       ".zbmp");
    }
    // Drags a 160-pixel square around the pattern's centre at actual size.
    void analyse(double defocus) {
        controller.setImage(pattern(defocus));
        controller.zoomActualSizeAction();
        controller.draggedWithRect({70, 70, 160, 160}, true);
    }
};

TEST_F(BahtinovPanelTest, FocusErrorFollowsTheDefocus) {
    view.visible[Panel::Bahtinov] = true;
    double previous = 0;
    int sign = 0;
    for (const double defocus : {1.0, 2.5, 4.0, 6.0}) {
        for (const double s : {1.0, -1.0}) {
            analyse(s * defocus);
            ASSERT_TRUE(controller.focusError()) << defocus;
            const double e = *controller.focusError();
            EXPECT_EQ(view.texts[Field::FocusErrorUnit], "px");
            EXPECT_EQ(view.texts[Field::Cfz], "--");
            EXPECT_EQ(view.colors[Field::FocusError], GRAPH_COLOR_2());
            // The sign follows the defocus (one way round for all), the size grows with it.
            const int thisSign = (e > 0) == (s > 0) ? 1 : -1;
            if (sign == 0) sign = thisSign;
            EXPECT_EQ(thisSign, sign) << s * defocus << " gave " << e;
            if (s > 0) {
                EXPECT_GT(std::fabs(e), previous) << defocus;
                previous = std::fabs(e);
            }
        }
    }
}

TEST_F(BahtinovPanelTest, CriticalFocusZoneAndDrawingArea) {
    DEFAULTS().setDouble(200, "aperture");
    DEFAULTS().setDouble(1000, "focalLength");
    DEFAULTS().setDouble(4.0, "pixelSize");
    DEFAULTS().setInteger(2, "binning");
    view.visible[Panel::Bahtinov] = true;
    for (const double defocus : {0.0, 6.0}) {
        analyse(defocus);
        EXPECT_EQ(view.texts[Field::FocusErrorUnit], "µm");
        EXPECT_EQ(controller.criticalFocusZone(), 40);
        EXPECT_EQ(view.texts[Field::Cfz], "40.00");
        ASSERT_TRUE(controller.focusError());
        const bool inside = 40 > std::fabs(*controller.focusError());
        EXPECT_EQ(view.colors[Field::FocusError], inside ? MARKER_COLOR() : GRAPH_COLOR_2()) << defocus;
        EXPECT_EQ(view.drawings[PictureOutlet::Bahtinov]->strokes[0].color, view.colors[Field::FocusError]);
    }
    // A 100 x 60 selection fills (0, 40, 200, 120) with Z = 2.
    controller.draggedWithRect({100, 120, 100, 60}, true);
    const auto& drawing = view.drawings[PictureOutlet::Bahtinov];
    EXPECT_EQ(drawing->copies[0].destination, (Rect{0, 40, 200, 120}));
    EXPECT_EQ(drawing->copies[0].source, (Rect{100, 120, 100, 60}));
    if (!drawing->strokes.empty()) {
        const auto& line = drawing->strokes[0].points;
        EXPECT_GE(line[0].y, 40);
        EXPECT_LE(line[1].y, 160);
    }
    // Panel closed: a drag analyses nothing; showBahtinov opens it and analyses at once.
    view.visible[Panel::Bahtinov] = false;
    view.drawings.clear();
    controller.draggedWithRect({70, 70, 160, 160}, true);
    EXPECT_FALSE(view.drawings.count(PictureOutlet::Bahtinov));
    controller.showBahtinov();
    EXPECT_TRUE(view.visible[Panel::Bahtinov]);
    EXPECT_TRUE(view.hidesOnDeactivate[Panel::Bahtinov]);
    EXPECT_TRUE(view.drawings[PictureOutlet::Bahtinov]);
}

TEST(BahtinovFocus, DegenerateSpikesGiveNoNumber) {
    const BahtinovLine central{0, 0, 100, 50, 1, 0}, side{0, 10, 100, 60, 1, 0}, other{0, 0, 100, 80, 1, 0};
    const BahtinovLine horizontal{0, 20, 100, 20, 1, 0};
    EXPECT_FALSE(std::isfinite(zeta::imaging::bahtinovErrorPixels(central, side, side)));
    EXPECT_FALSE(std::isfinite(zeta::imaging::bahtinovErrorPixels(central, horizontal, other)));
    // Crossing side spikes: a finite distance, 0 when the central spike runs through the crossing.
    const BahtinovLine up{0, 0, 100, 100, 1, 0}, down{0, 100, 100, 0, 1, 0}, through{0, 50, 100, 50, 1, 0};
    EXPECT_DOUBLE_EQ(zeta::imaging::bahtinovErrorPixels(through, up, down), 0);
    const BahtinovLine above{0, 60, 100, 60, 1, 0};
    EXPECT_DOUBLE_EQ(std::fabs(zeta::imaging::bahtinovErrorPixels(above, up, down)), 10);
}

TEST_F(ImageControllerTest, SetterFromAnotherThreadShowsOnTheMainThread) {
    auto frame = starFrame(40, 40);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        controller.setImage(frame);
        done = true;
    });
    EXPECT_TRUE(dispatch::runMainQueueUntil([&] { return done.load(); }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_EQ(controller.current(), frame);
    EXPECT_EQ(view.texts[Field::FrameSize], "120 x 100");
}

} // namespace
