#include "camera/camera_widget.h"

#include "camera/camera_controller.h"
#include "platform/constants.h"
#include "platform/gui/named_image.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

namespace zeta::camera {

namespace {

// An editable popup whose list only offers values: typed text is never completed to the first
// entry it starts ("3" frames must not become 30).
QComboBox* typedCombo(const char* name) {
    auto* combo = new QComboBox;
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    return combo;
}

} // namespace

double typedNumber(const QComboBox* combo) {
    bool ok = false;
    const double value = combo->currentText().trimmed().toDouble(&ok);
    return ok ? value : std::numeric_limits<double>::quiet_NaN();
}

namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QString number(double value) {
    return QString::number(value, 'g', 10);
}

void fillSwitchPopup(QComboBox* popup, const std::vector<SwitchEntry>& entries, int selected) {
    const QSignalBlocker block(popup);
    popup->clear();
    for (const SwitchEntry& entry : entries)
        popup->addItem(text(entry.title), text(entry.name));
    popup->setCurrentIndex(selected);
}

std::optional<std::string> selectedName(QComboBox* popup) {
    if (popup->currentIndex() < 0) return std::nullopt;
    return popup->currentData().toString().toStdString();
}

void showImage(QLabel* label, std::string_view name) {
    label->setPixmap(QPixmap::fromImage(zeta::platform::namedImage(name)));
    label->setProperty("statusImage", QString::fromUtf8(name.data(), static_cast<int>(name.size())));
}

} // namespace

CameraWidget::CameraWidget(CameraController& controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setObjectName("cameraWindow");
    auto* form = new QFormLayout(this);

    auto* cameraRow = new QHBoxLayout;
    cameras_ = new QComboBox;
    cameras_->setObjectName("camerasPopUp");
    cameras_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cameras_->setPlaceholderText(tr("No camera"));
    state_ = new QLabel;
    state_->setObjectName("imagerStateImage");
    cameraRow->addWidget(cameras_, 1);
    cameraRow->addWidget(state_);
    form->addRow(tr("Camera:"), cameraRow);

    // Wrapped, not cut: every figure of the line matters, and the dock stays narrow.
    ccd_ = new QLabel;
    ccd_->setWordWrap(true);
    ccd_->setObjectName("ccdField");
    form->addRow(tr("Sensor:"), ccd_);

    modes_ = new QComboBox;
    modes_->setObjectName("modesPopUp");
    form->addRow(tr("Mode:"), modes_);
    frameTypes_ = new QComboBox;
    frameTypes_->setObjectName("frameTypesPopUp");
    form->addRow(tr("Frame type:"), frameTypes_);
    binning_ = new QComboBox;
    binning_->setObjectName("binningPopUp");
    form->addRow(tr("Binning:"), binning_);
    frameRow_ = new QWidget(this);
    auto* frameBoxes = new QHBoxLayout(frameRow_);
    frameBoxes->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, QString> frameNames[] = {{"frameLeftField", tr("Frame X")},
                                                          {"frameTopField", tr("Frame Y")},
                                                          {"frameWidthField", tr("Frame width")},
                                                          {"frameHeightField", tr("Frame height")}};
    for (std::size_t i = 0; i < frame_.size(); ++i) {
        frame_[i] = new QLineEdit;
        frame_[i]->setObjectName(frameNames[i].first);
        frame_[i]->setAccessibleName(frameNames[i].second);
        frame_[i]->setPlaceholderText(frameNames[i].second);
        frameBoxes->addWidget(frame_[i]);
        // Tabbing through the row without typing sends nothing.
        connect(frame_[i], &QLineEdit::editingFinished, this, [this, box = frame_[i]] {
            if (!box->isModified()) return;
            box->setModified(false);
            controller_.frameAction();
        });
    }
    form->addRow(tr("Frame:"), frameRow_);

    durations_ = typedCombo("durationsCombo");
    for (double seconds : EXPOSURE_TIMES())
        durations_->addItem(number(seconds));
    durations_->setCurrentText("1");
    form->addRow(tr("Duration (s):"), durations_);

    for (Group group : {Group::Offset, Group::Gain, Group::Gamma})
        buildGroup(group);
    form->addRow(tr("Offset:"), slider(Group::Offset)->parentWidget());
    form->addRow(tr("Gain:"), slider(Group::Gain)->parentWidget());
    form->addRow(tr("Gamma:"), slider(Group::Gamma)->parentWidget());

    coolerLabel_ = new QLabel(tr("Cooler (°C):"));
    coolerLabel_->setObjectName("coolerLabelField");
    auto* coolerRow = new QHBoxLayout;
    cooler_ = typedCombo("coolerCombo");
    coolerState_ = new QLabel;
    coolerState_->setObjectName("coolerStateField");
    // The label beside the row names the setpoint box; the reading needs a name of its own.
    coolerState_->setAccessibleName(tr("Cooler state"));
    coolerImage_ = new QLabel;
    coolerImage_->setObjectName("coolerStateImage");
    coolerRow->addWidget(cooler_);
    coolerRow->addWidget(coolerState_, 1);
    coolerRow->addWidget(coolerImage_);
    form->addRow(coolerLabel_, coolerRow);

    counts_ = typedCombo("countsCombo");
    for (int frames : FRAME_COUNTS())
        counts_->addItem(QString::number(frames));
    form->addRow(tr("Frames:"), counts_);
    timelapses_ = typedCombo("timelapsesCombo");
    form->addRow(tr("Interval (s):"), timelapses_);
    nameTemplate_ = new QLineEdit;
    nameTemplate_->setObjectName("nameTemplateField");
    form->addRow(tr("Name:"), nameTemplate_);

    auto* progressRow = new QHBoxLayout;
    progress_ = new QProgressBar;
    progress_->setObjectName("imagerProgressIndicator");
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setVisible(false);
    fps_ = new QLabel;
    fps_->setObjectName("fpsField");
    fps_->setAccessibleName(tr("Frame rate"));
    batch_ = new QLabel;
    batch_->setObjectName("batchField");
    batch_->setAccessibleName(tr("Frames taken"));
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(fps_);
    progressRow->addWidget(batch_);
    form->addRow(progressRow);
    problem_ = new QLabel;
    problem_->setObjectName("inputProblemField");
    problem_->setAccessibleName(tr("Input problem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet("color: #c0392b;");
    problem_->setVisible(false);
    form->addRow(problem_);

    connect(cameras_, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { controller_.selectCamera(index); });
    connect(modes_, qOverload<int>(&QComboBox::activated), this,
            [this](int) { controller_.modeAction(selectedName(modes_)); });
    connect(frameTypes_, qOverload<int>(&QComboBox::activated), this,
            [this](int) { controller_.frameTypeAction(selectedName(frameTypes_)); });
    connect(binning_, qOverload<int>(&QComboBox::activated), this,
            [this](int) { controller_.binningAction(binning_->currentData().toInt()); });
    connect(durations_, qOverload<int>(&QComboBox::activated), this, [this](int) { controller_.durationAction(); });
    // Typed values count as much as picked ones.
    connect(durations_->lineEdit(), &QLineEdit::editingFinished, this, [this] { controller_.durationAction(); });
    connect(counts_->lineEdit(), &QLineEdit::editingFinished, this, [this] { controller_.batchAction(); });
    connect(timelapses_->lineEdit(), &QLineEdit::editingFinished, this, [this] { controller_.batchAction(); });
    connect(cooler_, qOverload<int>(&QComboBox::activated), this, [this](int) { controller_.coolerAction(); });
    connect(counts_, qOverload<int>(&QComboBox::activated), this, [this](int) { controller_.batchAction(); });
    connect(timelapses_, qOverload<int>(&QComboBox::activated), this, [this](int) { controller_.batchAction(); });
    connect(nameTemplate_, &QLineEdit::editingFinished, this, [this] { controller_.batchAction(); });

    controller_.setView(this);
    showControls(ControlFlags{});
}

CameraWidget::~CameraWidget() {
    controller_.setView(nullptr);
}

void CameraWidget::buildGroup(Group group) {
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    GroupControls& controls = groups_[index(group)];
    const char* names[] = {"offset", "gain", "gamma"};
    const QString name = names[index(group)];
    controls.slider = new QSlider(Qt::Horizontal);
    controls.slider->setObjectName(name + "Slider");
    controls.field = new QLineEdit;
    controls.field->setObjectName(name + "Field");
    controls.field->setReadOnly(true);
    controls.field->setMaximumWidth(70);
    controls.stepper = new QDoubleSpinBox;
    controls.stepper->setObjectName(name + "Stepper");
    controls.stepper->setKeyboardTracking(false);
    controls.stepper->setDecimals(3);
    row->addWidget(controls.slider, 1);
    row->addWidget(controls.field);
    row->addWidget(controls.stepper);

    QSlider* slider = controls.slider;
    connect(slider, &QSlider::valueChanged, this, [this, group, slider](int) {
        // While the thumb is held the drag goes on; a click or a key is a change of its own.
        controller_.groupAction(group, GroupSender::Slider, !slider->isSliderDown());
    });
    connect(slider, &QSlider::sliderReleased, this,
            [this, group] { controller_.groupAction(group, GroupSender::Slider, true); });
    connect(controls.stepper, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            [this, group](double) { controller_.groupAction(group, GroupSender::Stepper, true); });
}

void CameraWidget::showCameras(const std::vector<std::string>& titles, int selected, bool enabled) {
    const QSignalBlocker block(cameras_);
    cameras_->clear();
    for (const std::string& title : titles)
        cameras_->addItem(text(title));
    cameras_->setCurrentIndex(selected);
    cameras_->setEnabled(enabled);
}

void CameraWidget::showState(std::string_view statusImage) {
    showImage(state_, statusImage);
}

void CameraWidget::showControls(const ControlFlags& flags) {
    cameras_->setEnabled(flags.cameraListEnabled);
    modes_->setEnabled(flags.mode);
    frameTypes_->setEnabled(flags.frameType);
    durations_->setEnabled(flags.duration);
    for (auto [group, enabled] : {std::pair{Group::Offset, flags.offset}, std::pair{Group::Gain, flags.gain},
                                  std::pair{Group::Gamma, flags.gamma}}) {
        const GroupControls& controls = groups_[index(group)];
        controls.slider->setEnabled(enabled);
        controls.field->setEnabled(enabled);
        controls.stepper->setEnabled(enabled);
    }
    cooler_->setEnabled(flags.cooler);
    binning_->setEnabled(flags.binning);
    for (QLineEdit* box : frame_)
        box->setEnabled(flags.frame);
}

void CameraWidget::showSensor(const SensorInfo& sensor) {
    {
        const QSignalBlocker block(binning_);
        binning_->clear();
        for (std::int64_t bin = 1; bin <= std::min<std::int64_t>(sensor.maxBin, 16); ++bin)
            binning_->addItem(QString("%1 × %1").arg(bin), static_cast<int>(bin));
        binning_->setCurrentIndex(binning_->findData(static_cast<int>(sensor.horizontalBin)));
    }
    const std::int64_t frame[] = {sensor.frameLeft, sensor.frameTop, sensor.frameWidth, sensor.frameHeight};
    for (std::size_t i = 0; i < frame_.size(); ++i) {
        // A box being typed in keeps the user's text until it is sent.
        if (!frame_[i]->hasFocus()) frame_[i]->setText(QString::number(frame[i]));
    }
    if (sensor.width <= 0 || sensor.height <= 0) {
        ccd_->clear();
        return;
    }
    ccd_->setText(QString("%1 × %2, pixel size %3 µm, bin %4 × %5")
                      .arg(sensor.width)
                      .arg(sensor.height)
                      .arg(QString::number(sensor.pixelSize, 'g', 3))
                      .arg(sensor.horizontalBin)
                      .arg(sensor.verticalBin));
}

void CameraWidget::showModes(const std::vector<SwitchEntry>& entries, int selected) {
    fillSwitchPopup(modes_, entries, selected);
}

void CameraWidget::showFrameTypes(const std::vector<SwitchEntry>& entries, int selected) {
    fillSwitchPopup(frameTypes_, entries, selected);
}

double CameraWidget::duration() const {
    return typedNumber(durations_);
}

void CameraWidget::showDuration(double seconds) {
    durations_->setCurrentText(number(seconds));
}

void CameraWidget::setGroupRange(Group group, double min, double max, double step) {
    GroupControls& controls = groups_[index(group)];
    const QSignalBlocker blockSlider(controls.slider);
    const QSignalBlocker blockStepper(controls.stepper);
    // Integer slider units: whole steps as they are, finer steps in thousandths.
    controls.scale = (step >= 1 && std::floor(step) == step) ? 1 : 1000;
    controls.slider->setRange(static_cast<int>(std::lround(min * controls.scale)),
                              static_cast<int>(std::lround(max * controls.scale)));
    controls.stepper->setRange(min, max);
    controls.stepper->setSingleStep(step);
}

double CameraWidget::sliderValue(Group group) const {
    const GroupControls& controls = groups_[index(group)];
    return controls.slider->value() / controls.scale;
}

void CameraWidget::setSliderValue(Group group, double value) {
    GroupControls& controls = groups_[index(group)];
    const QSignalBlocker block(controls.slider);
    controls.slider->setValue(static_cast<int>(std::lround(value * controls.scale)));
}

double CameraWidget::stepperValue(Group group) const {
    return groups_[index(group)].stepper->value();
}

void CameraWidget::setStepperValue(Group group, double value) {
    const QSignalBlocker block(groups_[index(group)].stepper);
    groups_[index(group)].stepper->setValue(value);
}

double CameraWidget::fieldValue(Group group) const {
    return groups_[index(group)].field->text().toDouble();
}

void CameraWidget::showFieldValue(Group group, double value) {
    groups_[index(group)].field->setText(number(value));
}

void CameraWidget::showCoolerLabel(const std::string& label) {
    coolerLabel_->setText(text(label));
}

void CameraWidget::showCoolerItems(const std::vector<std::string>& items) {
    const QSignalBlocker block(cooler_);
    const QString current = cooler_->currentText();
    cooler_->clear();
    for (const std::string& item : items)
        cooler_->addItem(text(item));
    cooler_->setCurrentText(current);
}

std::string CameraWidget::coolerText() const {
    return cooler_->currentText().trimmed().toStdString();
}

void CameraWidget::showCoolerText(const std::string& value) {
    const QSignalBlocker block(cooler_);
    const int found = cooler_->findText(text(value));
    if (found >= 0) cooler_->setCurrentIndex(found);
    cooler_->setCurrentText(text(value));
}

void CameraWidget::showCoolerState(const std::string& value, std::string_view statusImage) {
    coolerState_->setText(text(value));
    showImage(coolerImage_, statusImage);
}

double CameraWidget::count() const {
    return typedNumber(counts_);
}

std::string CameraWidget::nameTemplate() const {
    return nameTemplate_->text().toStdString();
}

void CameraWidget::showNameTemplate(const std::string& value) {
    nameTemplate_->setText(text(value));
}

std::string CameraWidget::timelapseText() const {
    return timelapses_->currentText().toStdString();
}

void CameraWidget::showTimelapseItems(const std::vector<int>& seconds) {
    const QSignalBlocker block(timelapses_);
    timelapses_->clear();
    for (int interval : seconds)
        timelapses_->addItem(QString::number(interval));
}

void CameraWidget::showTimelapse(double seconds) {
    timelapses_->setCurrentText(number(seconds));
}

void CameraWidget::showFps(const std::string& value) {
    fps_->setText(text(value));
}

void CameraWidget::showInputProblem(const std::string& value) {
    problem_->setText(text(value));
    problem_->setVisible(!value.empty());
}

std::optional<TypedFrame> CameraWidget::typedFrame() const {
    double value[4];
    for (std::size_t i = 0; i < frame_.size(); ++i) {
        bool ok = false;
        value[i] = frame_[i]->text().trimmed().toDouble(&ok);
        if (!ok) value[i] = std::numeric_limits<double>::quiet_NaN();
    }
    return TypedFrame{value[0], value[1], value[2], value[3]};
}

void CameraWidget::showProgress(std::optional<double> fraction) {
    progress_->setVisible(fraction.has_value());
    if (fraction) progress_->setValue(static_cast<int>(std::lround(std::clamp(*fraction, 0.0, 1.0) * 1000)));
}

} // namespace zeta::camera
