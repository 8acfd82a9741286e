// The simulated cameras' star field as the image window measures it: the star under a click
// blurs with the lens's distance from its best position, and a rectangle dragged over the
// Bahtinov mask's spikes gives a focus error that follows the defocus in size and sign.

#include "platform/camera/star_field.h"

#include "image_window/image_controller.h"
#include "platform/constants.h"
#include "platform/image/data.h"
#include "recording_view.h"

#include <cmath>
#include <gtest/gtest.h>

using zeta::platform::StarFieldScene;

namespace {

class StarField : public ::testing::Test {
protected:
    void SetUp() override {
        DEFAULTS().removeObjectForKey("pixelSize");
        controller.setView(&view);
        controller.awakeFromNib();
    }

    void show(const StarFieldScene& scene) {
        auto jpeg = zeta::platform::starFieldJPEG(scene);
        ASSERT_FALSE(jpeg.empty());
        controller.setImage(std::make_shared<Image>(zeta::platform::Data(std::move(jpeg)), ".jpeg"));
        ASSERT_TRUE(controller.current());
        controller.zoomActualSizeAction();
    }

    // The brightest star sits in the middle: bitmap row 640 is image y 640 (y upward).
    void clickTheBrightestStar() { controller.selectedWithPoint({960.5, 640.5}); }

    RecordingView view;
    ImageController controller;
};

TEST_F(StarField, AFrameOfAPlausibleSizeWhoseStarBlursAwayFromFocus) {
    std::optional<double> last;
    for (const double defocus : {0.0, 4.0, 8.0}) {
        StarFieldScene scene;
        scene.defocus = defocus;
        show(scene);
        EXPECT_EQ(controller.current()->width(), 1920);
        EXPECT_EQ(controller.current()->height(), 1280);
        clickTheBrightestStar();
        ASSERT_TRUE(controller.selectedStar()) << defocus;
        const auto& star = *controller.selectedStar();
        EXPECT_NEAR(star.x + star.dx, 960, 1.5) << defocus;
        ASSERT_TRUE(controller.fwhmValue()) << defocus;
        if (last) {
            EXPECT_GT(*controller.fwhmValue(), *last + 0.5) << defocus;
        }
        last = controller.fwhmValue();
    }
    // Either side of the best position looks alike, and the next frame (other noise) keeps
    // the star where it was.
    StarFieldScene inside;
    inside.defocus = -8;
    inside.frame = 1;
    show(inside);
    clickTheBrightestStar();
    ASSERT_TRUE(controller.fwhmValue());
    EXPECT_NEAR(*controller.fwhmValue(), *last, 0.5);
}

TEST_F(StarField, TheMasksFocusErrorFollowsTheDefocus) {
    view.visible[RecordingView::Panel::Bahtinov] = true;
    const auto errorAt = [&](double defocus) -> std::optional<double> {
        StarFieldScene scene;
        scene.defocus = defocus;
        scene.bahtinovMask = true;
        show(scene);
        controller.draggedWithRect({830, 510, 260, 260}, true);
        return controller.focusError();
    };
    const auto focused = errorAt(0);
    const auto outside = errorAt(20);
    const auto inside = errorAt(-20);
    ASSERT_TRUE(focused && outside && inside);
    EXPECT_LT(std::abs(*focused), 1.5);
    EXPECT_GT(std::abs(*outside), 3);
    EXPECT_LT(*outside * *inside, 0) << "the error changes sign across focus";
    EXPECT_EQ(view.texts[RecordingView::Field::FocusErrorUnit], "px");
}

} // namespace
