#include "camera/dslr_window.h"

#include "batch/output_format.h"
#include "camera/camera_widget.h"
#include "camera/elided_label.h"
#include "camera/zt_camera_controller.h"
#include "platform/gui/named_image.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace zeta::camera {

namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QPushButton* button(const QString& title, const char* name, bool checkable) {
    auto* b = new QPushButton(title);
    b->setObjectName(name);
    b->setCheckable(checkable);
    return b;
}

void setChecked(QPushButton* b, bool on) {
    const QSignalBlocker block(b);
    b->setChecked(on);
}

} // namespace

DslrWindow::DslrWindow(ZTCameraController& controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setObjectName("dslrWindow");
    auto* column = new QVBoxLayout(this);
    camera_ = new CameraWidget(controller, this);
    column->addWidget(camera_);

    auto* settings = new QFormLayout;
    settings_ = settings;
    static const char* const titles[] = {"Program:",  "Compression:",   "ISO:",      "Compensation:", "Metering:",
                                         "Focusing:", "White balance:", "Aperture:", "Shutter:",      "Capture mode:"};
    static const char* const names[] = {"programModesPopUp", "compressionsPopUp", "isosPopUp", "compensationsPopUp",
                                        "meteringsPopUp",    "focusingsPopUp",    "wbsPopUp",  "aperturesPopUp",
                                        "shuttersPopUp",     "captureModesPopUp"};
    for (std::size_t i = 0; i < kDslrSettings; ++i) {
        auto* popup = new QComboBox;
        popup->setObjectName(names[i]);
        popup->setEnabled(false);
        popups_[i] = popup;
        settings->addRow(tr(titles[i]), popup);
        const auto setting = kDslrTable[i].setting;
        connect(popup, qOverload<int>(&QComboBox::activated), this,
                [this, setting](int) { controller_.dslrAction(setting); });
    }
    battery_ = new QLabel;
    battery_->setObjectName("batteryLevelView");
    settings->addRow(tr("Battery:"), battery_);
    column->addLayout(settings);

    auto* buttons = new QGridLayout;
    liveView_ = button(tr("Live View"), "liveViewButton", true);
    zoom_ = button(tr("Zoom"), "liveViewZoomButton", true);
    liveViewStop_ = button(tr("Stop"), "liveViewStopButton", false);
    preview1_ = button(tr("Preview 1"), "capturePreview1Button", false);
    preview_ = button(tr("Preview"), "capturePreviewButton", true);
    capture_ = button(tr("Capture"), "captureButton", true);
    captureStop_ = button(tr("Stop"), "captureStopButton", false);
    folder_ = button(tr("Folder…"), "captureFolderButton", false);
    // The two Stop buttons, told apart by what they stop.
    liveViewStop_->setAccessibleName(tr("Stop live view"));
    captureStop_->setAccessibleName(tr("Stop capture"));
    prefs_ = button(tr("Preferences…"), "prefsButton", false);
    buttons->addWidget(liveView_, 0, 0);
    buttons->addWidget(zoom_, 0, 1);
    buttons->addWidget(liveViewStop_, 0, 2);
    buttons->addWidget(preview1_, 1, 0);
    buttons->addWidget(preview_, 1, 1);
    buttons->addWidget(capture_, 2, 0);
    buttons->addWidget(captureStop_, 2, 1);
    buttons->addWidget(folder_, 3, 0);
    buttons->addWidget(prefs_, 3, 1);
    // What a capture run writes, beside the buttons that start it.
    outputFormat_ = new QComboBox;
    outputFormat_->setObjectName("outputFormatPopUp");
    outputFormat_->setAccessibleName(tr("Output format"));
    for (const auto& choice : zeta::batch::kOutputFormats)
        outputFormat_->addItem(tr(choice.title));
    outputFormat_->setEnabled(false);
    auto* output = new QHBoxLayout;
    output->addWidget(new QLabel(tr("Output:")));
    output->addWidget(outputFormat_, 1);
    column->addLayout(buttons);

    auto* folderRow = new QFormLayout;
    folderPath_ = new ElidedLabel;
    folderPath_->setObjectName("captureFolderField");
    folderRow->addRow(tr("Capture folder:"), folderPath_);
    column->addLayout(folderRow);
    focusStacking_ = new QLabel;
    focusStacking_->setObjectName("focusStackingField");
    focusStacking_->setAccessibleName(tr("Focus stacking"));
    focusStacking_->setWordWrap(true);
    focusStacking_->setVisible(false);
    column->addWidget(focusStacking_);
    column->addLayout(output);
    column->addStretch(1);

    liveViewMenu_ = new QAction(tr("Live View"), this);
    liveViewMenu_->setObjectName("liveViewMenu");

    connect(liveView_, &QPushButton::clicked, this, [this] { controller_.previewAction(true); });
    connect(liveViewMenu_, &QAction::triggered, this, [this] { controller_.previewAction(true); });
    connect(zoom_, &QPushButton::clicked, this, [this] { controller_.zoomAction(); });
    connect(liveViewStop_, &QPushButton::clicked, this, [this] { controller_.stopAction(); });
    connect(preview1_, &QPushButton::clicked, this, [this] { controller_.preview1Action(); });
    connect(preview_, &QPushButton::clicked, this, [this] { controller_.previewAction(false); });
    connect(capture_, &QPushButton::clicked, this, [this] { controller_.captureAction(); });
    connect(captureStop_, &QPushButton::clicked, this, [this] { controller_.stopAction(); });
    connect(folder_, &QPushButton::clicked, this, [this] { controller_.folderAction(); });
    connect(prefs_, &QPushButton::clicked, this, [this] {
        if (preferences_) preferences_();
    });
    connect(outputFormat_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (!readOutputFormat_ || !writeOutputFormat_ || index < 0) return;
        writeOutputFormat_(zeta::batch::outputFormatValue(static_cast<std::size_t>(index), readOutputFormat_()));
    });

    controller_.setZTView(this);
    showBattery("Bat");
    showRows(CameraRows{});
    showRunControls(RunControls{});
    showCaptureFolder({});
}

DslrWindow::~DslrWindow() {
    controller_.setZTView(nullptr);
}

void DslrWindow::showRunControls(const RunControls& c) {
    prefs_->setEnabled(c.prefs);
    folder_->setEnabled(c.captureFolder);
    liveView_->setEnabled(c.liveView);
    setChecked(liveView_, c.liveViewOn);
    liveViewMenu_->setEnabled(c.liveView);
    zoom_->setEnabled(c.liveViewZoom);
    setChecked(zoom_, c.liveViewZoomOn);
    liveViewStop_->setEnabled(c.liveViewStop);
    preview1_->setEnabled(c.preview1);
    preview_->setEnabled(c.preview);
    setChecked(preview_, c.previewOn);
    capture_->setEnabled(c.capture);
    setChecked(capture_, c.captureOn);
    captureStop_->setEnabled(c.captureStop);
    camera_->countsCombo()->setEnabled(c.batchFields);
    camera_->timelapsesCombo()->setEnabled(c.interval);
    camera_->nameTemplateField()->setEnabled(c.batchFields);
    for (std::size_t i = 0; i < kDslrSettings; ++i)
        popups_[i]->setEnabled(c.dslr[i]);
    // The refresh also follows a format chosen in the preferences sheet.
    captureOn_ = c.captureOn;
    showOutputFormat();
}

void DslrWindow::setOutputFormatHandlers(std::function<std::string()> read,
                                         std::function<void(const std::string&)> write) {
    readOutputFormat_ = std::move(read);
    writeOutputFormat_ = std::move(write);
    showOutputFormat();
}

void DslrWindow::showOutputFormat() {
    const bool usable = readOutputFormat_ && writeOutputFormat_;
    // A run's format is fixed when it starts.
    outputFormat_->setEnabled(usable && !captureOn_);
    if (!usable) return;
    const QSignalBlocker block(outputFormat_);
    outputFormat_->setCurrentIndex(static_cast<int>(zeta::batch::outputFormatIndex(readOutputFormat_())));
}

void DslrWindow::showDslrPopup(DslrSetting setting, const std::vector<SwitchEntry>& entries, int selected) {
    QComboBox* popup = popups_[indexOf(setting)];
    const QSignalBlocker block(popup);
    popup->clear();
    for (const SwitchEntry& entry : entries)
        popup->addItem(text(entry.title), text(entry.name));
    popup->setCurrentIndex(selected);
}

std::optional<std::string> DslrWindow::dslrSelectedTitle(DslrSetting setting) const {
    const QComboBox* popup = popups_[indexOf(setting)];
    if (popup->currentIndex() < 0) return std::nullopt;
    return popup->currentText().toStdString();
}

std::optional<std::string> DslrWindow::dslrSelectedItem(DslrSetting setting) const {
    const QComboBox* popup = popups_[indexOf(setting)];
    if (popup->currentIndex() < 0) return std::nullopt;
    return popup->currentData().toString().toStdString();
}

void DslrWindow::showBattery(std::string_view image) {
    battery_->setPixmap(QPixmap::fromImage(zeta::platform::namedImage(image, 24)));
    battery_->setProperty("image", QString::fromUtf8(image.data(), static_cast<int>(image.size())));
}

void DslrWindow::showBatchProgress(const std::string& value) {
    camera_->batchField()->setText(text(value));
}

void DslrWindow::showDurationItems(const std::vector<int>& seconds) {
    QComboBox* combo = camera_->durationsCombo();
    const QSignalBlocker block(combo);
    const QString current = combo->currentText();
    combo->clear();
    for (int value : seconds)
        combo->addItem(QString::number(value));
    combo->setCurrentText(current);
}

void DslrWindow::showCountItems(const std::vector<int>& counts) {
    QComboBox* combo = camera_->countsCombo();
    const QSignalBlocker block(combo);
    combo->clear();
    for (int value : counts)
        combo->addItem(QString::number(value));
}

void DslrWindow::showCount(double count) {
    camera_->countsCombo()->setCurrentText(QString::number(count, 'g', 10));
}

double DslrWindow::timelapse() const {
    return typedNumber(camera_->timelapsesCombo());
}

void DslrWindow::showRows(const CameraRows& rows) {
    for (QComboBox* popup : popups_)
        settings_->setRowVisible(popup, rows.dslr);
    settings_->setRowVisible(battery_, rows.dslr);
    auto* form = qobject_cast<QFormLayout*>(camera_->layout());
    if (form == nullptr) return;
    form->setRowVisible(camera_->modesPopUp(), rows.mode);
    form->setRowVisible(camera_->frameTypesPopUp(), rows.frameType);
    form->setRowVisible(camera_->slider(Group::Offset)->parentWidget(), rows.offset);
    form->setRowVisible(camera_->slider(Group::Gain)->parentWidget(), rows.gain);
    form->setRowVisible(camera_->slider(Group::Gamma)->parentWidget(), rows.gamma);
    form->setRowVisible(camera_->coolerLabelField(), rows.cooler);
    form->setRowVisible(camera_->binningPopUp(), rows.binning);
    form->setRowVisible(camera_->frameRow(), rows.frame);
}

void DslrWindow::showCaptureFolder(const std::string& folder) {
    folderPath_->setText(folder.empty() ? tr("None chosen") : text(folder));
    folderPath_->setToolTip(text(folder));
}

void DslrWindow::showFocusStacking(const std::string& notice) {
    focusStacking_->setText(text(notice));
    focusStacking_->setVisible(!notice.empty());
}

std::optional<std::string> DslrWindow::chooseFolder(const std::string& start) {
    QFileDialog panel(this, tr("Select directory"), text(start));
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly, true);
    panel.setLabelText(QFileDialog::Accept, tr("Select directory"));
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    return panel.selectedFiles().first().toStdString();
}

} // namespace zeta::camera
