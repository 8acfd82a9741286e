#pragma once
// ImageWindow: the widgets of the image window. The picture in its centering scroll view,
// a side column with the frame's figures, histogram, stretch and zoom controls and the pixel
// readout; the PSF, drift and Bahtinov panels as separate tool windows (psfPanel(),
// driftPanel(), bahtinovPanel(), for the Window menu). Implements ImageWindowView for the
// controller and forwards every action to it; decides nothing itself.
//
// Set-up: ImageWindow window(controller); (connects controller.setView and the picture's
// delegate, then runs controller.awakeFromNib()). The controller must outlive the window.

#include "image_window/centering_view.h"
#include "image_window/clickable_view.h"
#include "image_window/focus_panel_widgets.h"
#include "image_window/image_controller.h"
#include "image_window/image_window_view.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>
#include <map>

class ImageWindow : public QWidget, public zeta::imaging::ImageWindowView {
    Q_OBJECT
public:
    explicit ImageWindow(ImageController& controller, QWidget* parent = nullptr);
    ~ImageWindow() override;

    ImageController& controller() const { return controller_; }
    CenteringView* scrollView() const { return scrollView_; }
    ClickableView* clickableView() const { return clickableView_; }
    PsfPanel* psfPanel() const { return psfPanel_; }
    DriftPanel* driftPanel() const { return driftPanel_; }
    BahtinovPanel* bahtinovPanel() const { return bahtinovPanel_; }
    // The star-selection switch, shared by the button beside the picture and the menu.
    QAction* selectStarsAction() const { return selectStarsAction_; }
    // The panels opened as their buttons open them (for the Window menu).
    void showPSF();
    void showDrift();
    void showBahtinov();
    QLabel* fieldLabel(zeta::imaging::Field field) const;
    QWidget* controlWidget(zeta::imaging::Control control) const;
    QLabel* pictureLabel(zeta::imaging::PictureOutlet picture) const;

    // ImageWindowView
    bool hasField(zeta::imaging::Field field) const override;
    bool hasPicture(zeta::imaging::PictureOutlet picture) const override;
    bool hasPanel(zeta::imaging::Panel panel) const override;
    void setText(zeta::imaging::Field field, const std::string& text) override;
    void setTextColor(zeta::imaging::Field field, const zeta::platform::Color& color) override;
    void setEnabled(zeta::imaging::Control control, bool enabled) override;
    void setState(zeta::imaging::Control control, bool on) override;
    double value(zeta::imaging::Control control) const override;
    void setValue(zeta::imaging::Control control, double value) override;
    double maximum(zeta::imaging::Control control) const override;
    void setMaximum(zeta::imaging::Control control, double maximum) override;
    void setIncrement(zeta::imaging::Control control, double increment) override;
    zeta::imaging::Size scrollViewSize() const override;
    void showRendering(std::shared_ptr<zeta::platform::Picture> rendering, double scale,
                       zeta::imaging::Size frame) override;
    void setMarkers(std::optional<zeta::imaging::Point> pointMarker,
                    std::optional<zeta::imaging::Rect> frameMarker) override;
    void redrawImageView() override;
    void showHistogram(std::shared_ptr<zeta::platform::Picture> histogram) override;
    void showDrawing(zeta::imaging::PictureOutlet picture,
                     std::shared_ptr<const zeta::imaging::Drawing> drawing) override;
    bool panelVisible(zeta::imaging::Panel panel) const override;
    void orderFront(zeta::imaging::Panel panel, bool hidesOnDeactivate) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FocusPanel* panel(zeta::imaging::Panel panel) const;

    ImageController& controller_;
    CenteringView* scrollView_;
    ClickableView* clickableView_;
    PsfPanel* psfPanel_;
    DriftPanel* driftPanel_;
    BahtinovPanel* bahtinovPanel_;
    std::map<zeta::imaging::Field, QLabel*> fields_;
    QSlider* blackSlider_;
    QSlider* whiteSlider_;
    QSpinBox* blackStepper_;
    QSpinBox* whiteStepper_;
    std::map<zeta::imaging::Control, QAbstractButton*> buttons_;
    QLabel* histogramImageView_;
    QAction* selectStarsAction_;
    bool updating_ = false; // values set by the controller are not the user's actions
};
