#include "image_window/image_window.h"

#include "image_window/drawing_painter.h"

#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPixmap>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

using zeta::imaging::Control;
using zeta::imaging::Field;
using zeta::imaging::Panel;
using zeta::imaging::PictureOutlet;

namespace {

QLabel* makeField(QWidget* parent, const char* name) {
    auto* label = new QLabel("--", parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& title, const char* name, bool checkable) {
    auto* button = new QPushButton(title, parent);
    button->setObjectName(name);
    button->setCheckable(checkable);
    return button;
}

} // namespace

ImageWindow::ImageWindow(ImageController& controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setObjectName("imageWindow");
    scrollView_ = new CenteringView(this);
    scrollView_->setObjectName("scrollView");
    clickableView_ = new ClickableView;
    clickableView_->setObjectName("clickableView");
    scrollView_->setWidget(clickableView_);
    clickableView_->setDelegate(&controller_);
    scrollView_->installEventFilter(this);

    psfPanel_ = new PsfPanel(this);
    driftPanel_ = new DriftPanel(this);
    bahtinovPanel_ = new BahtinovPanel(this);

    const std::pair<Field, const char*> names[] = {
        {Field::SelectedPixel, "selectedPixelField"},
        {Field::FrameSize, "frameSizeField"},
        {Field::Min, "minField"},
        {Field::Max, "maxField"},
        {Field::Average, "averageField"},
        {Field::Median, "medianField"},
        {Field::BlackPoint, "blackPointField"},
        {Field::WhitePoint, "whitePointField"},
    };
    for (const auto& [f, name] : names)
        fields_[f] = makeField(this, name);
    fields_[Field::Fwhm] = psfPanel_->fwhmField;
    fields_[Field::Hfd] = psfPanel_->hfdField;
    fields_[Field::Peak] = psfPanel_->peakField;
    fields_[Field::Background] = psfPanel_->backgroundField;
    fields_[Field::DriftAX] = driftPanel_->driftAXField;
    fields_[Field::DriftBX] = driftPanel_->driftBXField;
    fields_[Field::FocusError] = bahtinovPanel_->focusErrorField;
    fields_[Field::FocusErrorUnit] = bahtinovPanel_->focusErrorUnitField;
    fields_[Field::Cfz] = bahtinovPanel_->cfzField;

    histogramImageView_ = new QLabel(this);
    histogramImageView_->setObjectName("histogramImageView");
    histogramImageView_->setFixedSize(256, 128);

    const auto makeSlider = [this](const char* name) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(name);
        slider->setRange(0, 255);
        slider->setEnabled(false);
        return slider;
    };
    const auto makeStepper = [this](const char* name) {
        auto* stepper = new QSpinBox(this);
        stepper->setObjectName(name);
        stepper->setRange(0, 255);
        stepper->setEnabled(false);
        return stepper;
    };
    blackSlider_ = makeSlider("blackPointSlider");
    whiteSlider_ = makeSlider("whitePointSlider");
    blackStepper_ = makeStepper("blackPointStepper");
    whiteStepper_ = makeStepper("whitePointStepper");

    buttons_[Control::AutomaticStretch] = makeButton(this, tr("Auto"), "automaticStretchButton", true);
    buttons_[Control::ZoomIn] = makeButton(this, tr("Zoom in"), "zoomInButton", false);
    buttons_[Control::ZoomToFit] = makeButton(this, tr("Fit"), "zoomToFitButton", true);
    buttons_[Control::ActualSize] = makeButton(this, tr("1:1"), "actualSizeButton", true);
    buttons_[Control::ZoomOut] = makeButton(this, tr("Zoom out"), "zoomOutButton", false);
    for (auto& [control, button] : buttons_)
        button->setEnabled(false);
    buttons_[Control::ZoomToFit]->setChecked(true);
    auto* guide1 = makeButton(this, tr("Guide 1"), "guideLines1Button", false);
    auto* guide2 = makeButton(this, tr("Guide 2"), "guideLines2Button", false);
    auto* psf = makeButton(this, tr("PSF…"), "showPSFButton", false);
    auto* drift = makeButton(this, tr("Drift…"), "showDriftButton", false);
    auto* bahtinov = makeButton(this, tr("Bahtinov…"), "showBahtinovButton", false);

    // Forward the user's actions; values the controller sets are not actions.
    connect(buttons_[Control::AutomaticStretch], &QAbstractButton::clicked, this, [this] {
        controller_.automaticStretchAction();
        buttons_[Control::AutomaticStretch]->setChecked(controller_.automaticStretch());
    });
    connect(buttons_[Control::ZoomIn], &QAbstractButton::clicked, this, [this] { controller_.zoomInAction(); });
    connect(buttons_[Control::ZoomOut], &QAbstractButton::clicked, this, [this] { controller_.zoomOutAction(); });
    connect(buttons_[Control::ZoomToFit], &QAbstractButton::clicked, this, [this] {
        controller_.zoomToFitAction();
        buttons_[Control::ZoomToFit]->setChecked(controller_.zoomToFit());
    });
    connect(buttons_[Control::ActualSize], &QAbstractButton::clicked, this,
            [this] { controller_.zoomActualSizeAction(); });
    connect(guide1, &QAbstractButton::clicked, this, [this] { controller_.setGuideLines1(); });
    connect(guide2, &QAbstractButton::clicked, this, [this] { controller_.setGuideLines2(); });
    connect(psf, &QAbstractButton::clicked, this, [this] { showPSF(); });
    connect(drift, &QAbstractButton::clicked, this, [this] { showDrift(); });
    connect(bahtinov, &QAbstractButton::clicked, this, [this] { showBahtinov(); });

    selectStarsAction_ = new QAction(tr("Select Stars"), this);
    selectStarsAction_->setObjectName("selectStarsAction");
    selectStarsAction_->setCheckable(true);
    selectStarsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    selectStarsAction_->setShortcutContext(Qt::ApplicationShortcut);
    selectStarsAction_->setToolTip(tr("Click a star or drag over a rectangle to select it; right-click deselects"));
    addAction(selectStarsAction_);
    connect(selectStarsAction_, &QAction::toggled, this, [this](bool on) {
        if (!updating_) controller_.enableMarkersAction(on);
    });
    auto* selectStars = new QToolButton(this);
    selectStars->setObjectName("selectStarsButton");
    selectStars->setDefaultAction(selectStarsAction_);
    selectStars->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // On, it must read as on from across the room: the style's own pressed look is faint.
    selectStars->setStyleSheet("QToolButton:checked { background-color: palette(highlight); "
                               "color: palette(highlighted-text); border: 1px solid palette(dark); "
                               "border-radius: 3px; padding: 3px 6px; }");
    const auto sliderAction = [this](QSlider* slider, bool black) {
        connect(slider, &QSlider::valueChanged, this, [this, slider, black] {
            if (updating_) return;
            // While the knob is held only the numbers follow; the picture changes at release.
            const bool up = !slider->isSliderDown();
            black ? controller_.blackPointAction(StretchSender::Slider, up)
                  : controller_.whitePointAction(StretchSender::Slider, up);
        });
        connect(slider, &QSlider::sliderReleased, this, [this, black] {
            black ? controller_.blackPointAction(StretchSender::Slider, true)
                  : controller_.whitePointAction(StretchSender::Slider, true);
        });
    };
    sliderAction(blackSlider_, true);
    sliderAction(whiteSlider_, false);
    const auto stepperAction = [this](QSpinBox* stepper, bool black) {
        connect(stepper, &QSpinBox::valueChanged, this, [this, black] {
            if (updating_) return;
            black ? controller_.blackPointAction(StretchSender::Stepper)
                  : controller_.whitePointAction(StretchSender::Stepper);
        });
    };
    stepperAction(blackStepper_, true);
    stepperAction(whiteStepper_, false);

    auto* figures = new QFormLayout;
    figures->addRow(tr("Size"), fields_[Field::FrameSize]);
    figures->addRow(tr("Min"), fields_[Field::Min]);
    figures->addRow(tr("Max"), fields_[Field::Max]);
    figures->addRow(tr("Average"), fields_[Field::Average]);
    figures->addRow(tr("Median"), fields_[Field::Median]);
    figures->addRow(tr("Pixel"), fields_[Field::SelectedPixel]);
    auto* stretch = new QGridLayout;
    stretch->addWidget(new QLabel(tr("Black"), this), 0, 0);
    stretch->addWidget(blackSlider_, 0, 1);
    stretch->addWidget(blackStepper_, 0, 2);
    stretch->addWidget(fields_[Field::BlackPoint], 0, 3);
    stretch->addWidget(new QLabel(tr("White"), this), 1, 0);
    stretch->addWidget(whiteSlider_, 1, 1);
    stretch->addWidget(whiteStepper_, 1, 2);
    stretch->addWidget(fields_[Field::WhitePoint], 1, 3);
    stretch->addWidget(buttons_[Control::AutomaticStretch], 2, 1);
    auto* zoom = new QGridLayout;
    int cell = 0;
    for (const auto c : {Control::ZoomIn, Control::ZoomToFit, Control::ActualSize, Control::ZoomOut}) {
        zoom->addWidget(buttons_[c], cell / 2, cell % 2);
        ++cell;
    }
    auto* tools = new QGridLayout;
    cell = 0;
    for (auto* b : {guide1, guide2, psf, drift, bahtinov}) {
        tools->addWidget(b, cell / 3, cell % 3);
        ++cell;
    }
    // The figures are a narrow column that scrolls when the window is low: the picture keeps
    // the rest of the width.
    auto* sideColumn = new QWidget;
    sideColumn->setObjectName("statisticsColumn");
    auto* side = new QVBoxLayout(sideColumn);
    side->setContentsMargins(0, 0, 0, 0);
    side->addWidget(selectStars);
    side->addLayout(figures);
    side->addWidget(histogramImageView_);
    side->addLayout(stretch);
    side->addLayout(zoom);
    side->addLayout(tools);
    side->addStretch();
    auto* sideScroll = new QScrollArea(this);
    sideScroll->setObjectName("statisticsScroll");
    sideScroll->setFrameShape(QFrame::NoFrame);
    sideScroll->setWidgetResizable(true);
    sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sideScroll->setWidget(sideColumn);
    sideScroll->setFixedWidth(sideColumn->sizeHint().width() +
                              sideScroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(scrollView_, 1);
    layout->addWidget(sideScroll);

    controller_.setView(this);
    controller_.awakeFromNib();
}

ImageWindow::~ImageWindow() {
    if (controller_.view() == this) controller_.setView(nullptr);
    clickableView_->setDelegate(nullptr);
}

QLabel* ImageWindow::fieldLabel(Field field) const {
    const auto it = fields_.find(field);
    return it == fields_.end() ? nullptr : it->second;
}

void ImageWindow::showPSF() {
    psfPanel_->orderFront();
}

void ImageWindow::showDrift() {
    controller_.showDrift();
}

void ImageWindow::showBahtinov() {
    controller_.showBahtinov();
}

QWidget* ImageWindow::controlWidget(Control control) const {
    switch (control) {
    case Control::SelectStars:
        return findChild<QToolButton*>("selectStarsButton");
    case Control::BlackSlider:
        return blackSlider_;
    case Control::WhiteSlider:
        return whiteSlider_;
    case Control::BlackStepper:
        return blackStepper_;
    case Control::WhiteStepper:
        return whiteStepper_;
    default:
        return buttons_.at(control);
    }
}

QLabel* ImageWindow::pictureLabel(PictureOutlet picture) const {
    switch (picture) {
    case PictureOutlet::Histogram:
        return histogramImageView_;
    case PictureOutlet::Detail:
        return psfPanel_->detailImageView;
    case PictureOutlet::Psf:
        return psfPanel_->psfImageView;
    case PictureOutlet::Drift:
        return driftPanel_->driftImageView;
    case PictureOutlet::Bahtinov:
        return bahtinovPanel_->bahtinovImageView;
    }
    return nullptr;
}

FocusPanel* ImageWindow::panel(Panel panel) const {
    return panel == Panel::Drift ? static_cast<FocusPanel*>(driftPanel_) : bahtinovPanel_;
}

bool ImageWindow::hasField(Field) const {
    return true;
}
bool ImageWindow::hasPicture(PictureOutlet) const {
    return true;
}
bool ImageWindow::hasPanel(Panel) const {
    return true;
}

void ImageWindow::setText(Field field, const std::string& text) {
    if (auto* label = fieldLabel(field)) label->setText(QString::fromStdString(text));
}

void ImageWindow::setTextColor(Field field, const zeta::platform::Color& color) {
    if (auto* label = fieldLabel(field)) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, zeta::imaging::qColorOf(color));
        label->setPalette(palette);
    }
}

void ImageWindow::setEnabled(Control control, bool enabled) {
    controlWidget(control)->setEnabled(enabled);
}

void ImageWindow::setState(Control control, bool on) {
    if (control == Control::SelectStars) {
        const bool was = updating_;
        updating_ = true;
        selectStarsAction_->setChecked(on);
        updating_ = was;
        return;
    }
    if (const auto it = buttons_.find(control); it != buttons_.end()) it->second->setChecked(on);
}

double ImageWindow::value(Control control) const {
    if (auto* slider = qobject_cast<QSlider*>(controlWidget(control))) return slider->value();
    if (auto* stepper = qobject_cast<QSpinBox*>(controlWidget(control))) return stepper->value();
    return 0;
}

void ImageWindow::setValue(Control control, double value) {
    const bool was = updating_;
    updating_ = true;
    const int v = static_cast<int>(std::clamp(value, -2e9, 2e9));
    if (auto* slider = qobject_cast<QSlider*>(controlWidget(control))) slider->setValue(v);
    if (auto* stepper = qobject_cast<QSpinBox*>(controlWidget(control))) stepper->setValue(v);
    updating_ = was;
}

double ImageWindow::maximum(Control control) const {
    if (auto* slider = qobject_cast<QSlider*>(controlWidget(control))) return slider->maximum();
    if (auto* stepper = qobject_cast<QSpinBox*>(controlWidget(control))) return stepper->maximum();
    return 0;
}

void ImageWindow::setMaximum(Control control, double maximum) {
    const bool was = updating_;
    updating_ = true;
    if (auto* slider = qobject_cast<QSlider*>(controlWidget(control))) slider->setMaximum(static_cast<int>(maximum));
    if (auto* stepper = qobject_cast<QSpinBox*>(controlWidget(control))) stepper->setMaximum(static_cast<int>(maximum));
    updating_ = was;
}

void ImageWindow::setIncrement(Control control, double increment) {
    if (auto* stepper = qobject_cast<QSpinBox*>(controlWidget(control)))
        stepper->setSingleStep(static_cast<int>(increment));
}

zeta::imaging::Size ImageWindow::scrollViewSize() const {
    return {static_cast<double>(scrollView_->width()), static_cast<double>(scrollView_->height())};
}

void ImageWindow::showRendering(std::shared_ptr<zeta::platform::Picture> rendering, double scale,
                                zeta::imaging::Size frame) {
    clickableView_->setScale(scale);
    clickableView_->setPicture(std::move(rendering));
    clickableView_->setFrameSize(frame);
}

void ImageWindow::setMarkers(std::optional<zeta::imaging::Point> pointMarker,
                             std::optional<zeta::imaging::Rect> frameMarker) {
    clickableView_->setPointMarker(pointMarker);
    clickableView_->setFrameMarker(frameMarker);
}

void ImageWindow::redrawImageView() {
    clickableView_->update();
}

void ImageWindow::showHistogram(std::shared_ptr<zeta::platform::Picture> histogram) {
    if (!histogram) {
        histogramImageView_->clear();
        return;
    }
    histogramImageView_->setPixmap(QPixmap::fromImage(zeta::imaging::qImageOf(*histogram)));
}

void ImageWindow::showDrawing(PictureOutlet picture, std::shared_ptr<const zeta::imaging::Drawing> drawing) {
    QLabel* label = pictureLabel(picture);
    if (!drawing) {
        label->clear();
        return;
    }
    label->setPixmap(QPixmap::fromImage(zeta::imaging::paintDrawing(*drawing)));
}

bool ImageWindow::panelVisible(Panel p) const {
    return panel(p)->isVisible();
}

void ImageWindow::orderFront(Panel p, bool hidesOnDeactivate) {
    panel(p)->setHidesOnDeactivate(hidesOnDeactivate);
    panel(p)->orderFront();
}

bool ImageWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scrollView_ && event->type() == QEvent::Resize) controller_.windowDidResize();
    return QWidget::eventFilter(watched, event);
}
