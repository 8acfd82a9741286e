#include "app/preferences_dialog.h"

#include "app/drivers_table.h"
#include "app/services_panel.h"
#include "batch/output_format.h"
#include "platform/constants.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zeta::app {

namespace {

QColor toQColor(const platform::Color& color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.alpha));
}

platform::Color fromQColor(const QColor& color) {
    return {color.redF(), color.greenF(), color.blueF(), color.alphaF()};
}

QCheckBox* checkbox(const QString& title, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(name);
    return box;
}

} // namespace

ColorWell::ColorWell(QWidget* parent) : QPushButton(parent) {
    setFixedSize(48, 24);
    connect(this, &QPushButton::clicked, this, [this] {
        const QColor chosen = QColorDialog::getColor(toQColor(color_), this, QString(), QColorDialog::ShowAlphaChannel);
        if (chosen.isValid()) setColor(fromQColor(chosen));
    });
}

void ColorWell::setColor(const platform::Color& color) {
    color_ = color;
    setStyleSheet(QString("background-color: %1;").arg(toQColor(color).name(QColor::HexArgb)));
}

PreferencesDialog::PreferencesDialog(DriversController& drivers, ServicesController& services, QWidget* parent)
    : QDialog(parent), useMirrorLockupButton_(checkbox(tr("Use mirror lock-up"), "useMirrorLockupButton", this)),
      avoidAFButton_(checkbox(tr("Avoid autofocus"), "avoidAFButton", this)),
      deleteDownloadedImagesButton_(
          checkbox(tr("Delete downloaded images from the camera"), "deleteDownloadedImagesButton", this)),
      lockCameraGUIButton_(checkbox(tr("Lock the camera's controls"), "lockCameraGUIButton", this)),
      markerColor_(new ColorWell(this)), graphColor1_(new ColorWell(this)), graphColor2_(new ColorWell(this)),
      backgroundColor_(new ColorWell(this)), indigoPortNumberField_(new QLineEdit(this)),
      indigoServiceNameField_(new QLineEdit(this)), indigoServiceTypeField_(new QLineEdit(this)),
      logLevelPopup_(new QComboBox(this)), outputFormatPopup_(new QComboBox(this)),
      encodeFilterButton_(checkbox(tr("Filter in file names"), "encodeFilterButton", this)),
      encodeModeButton_(checkbox(tr("Mode in file names"), "encodeModeButton", this)),
      encodeDurationButton_(checkbox(tr("Exposure time in file names"), "encodeDurationButton", this)),
      encodeTemperatureButton_(checkbox(tr("Temperature in file names"), "encodeTemperatureButton", this)),
      apertureField_(new QDoubleSpinBox(this)), focalLengthField_(new QDoubleSpinBox(this)),
      useFahrenheitButton_(checkbox(tr("Temperatures in Fahrenheit"), "useFahrenheitButton", this)),
      showCrosshairButton_(checkbox(tr("Show a crosshair over the image"), "showCrosshairButton", this)),
      hidePanelsButton_(checkbox(tr("Hide panels while Zeta is in the background"), "hidePanelsButton", this)),
      enableBLOBTransferButton_(
          checkbox(tr("Receive images in the property browser"), "enableBLOBTransferButton", this)),
      error_(new QLabel(this)), driversTable_(new DriversTable(drivers, this)),
      servicesPanel_(new ServicesPanel(services, this)), ok_(new QPushButton(tr("OK"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    setObjectName("preferencePanel");
    setWindowTitle(tr("Preferences"));
    setWindowModality(Qt::WindowModal);
    markerColor_->setObjectName("markerColor");
    graphColor1_->setObjectName("graphColor1");
    graphColor2_->setObjectName("graphColor2");
    backgroundColor_->setObjectName("backgroundColor");
    markerColor_->setAccessibleName(tr("Marker colour"));
    graphColor1_->setAccessibleName(tr("Graph 1 colour"));
    graphColor2_->setAccessibleName(tr("Graph 2 colour"));
    backgroundColor_->setAccessibleName(tr("Background colour"));
    indigoPortNumberField_->setObjectName("indigoPortNumberField");
    indigoServiceNameField_->setObjectName("indigoServiceNameField");
    indigoServiceTypeField_->setObjectName("indigoServiceTypeField");
    logLevelPopup_->setObjectName("logLevelPopup");
    outputFormatPopup_->setObjectName("outputFormatPopup");
    apertureField_->setObjectName("apertureField");
    focalLengthField_->setObjectName("focalLengthField");
    error_->setObjectName("preferencesError");
    ok_->setObjectName("okButton");
    cancel_->setObjectName("cancelButton");
    for (const std::string& title : logLevelTitles())
        logLevelPopup_->addItem(QString::fromStdString(title));
    for (const auto& choice : zeta::batch::kOutputFormats)
        outputFormatPopup_->addItem(tr(choice.title));
    // Millimetres; 0 stands for "not known" (the critical focus zone then stays empty).
    for (QDoubleSpinBox* optics : {apertureField_, focalLengthField_}) {
        optics->setRange(0, 100000);
        optics->setDecimals(1);
        optics->setSuffix(tr(" mm"));
        optics->setSpecialValueText(tr("not set"));
    }

    auto* camera = new QGroupBox(tr("Camera"), this);
    auto* cameraLayout = new QVBoxLayout(camera);
    cameraLayout->addWidget(useMirrorLockupButton_);
    cameraLayout->addWidget(avoidAFButton_);
    cameraLayout->addWidget(deleteDownloadedImagesButton_);
    cameraLayout->addWidget(lockCameraGUIButton_);
    cameraLayout->addWidget(useFahrenheitButton_);

    auto* capture = new QGroupBox(tr("Capture"), this);
    auto* captureLayout = new QFormLayout(capture);
    captureLayout->addRow(tr("Output format:"), outputFormatPopup_);
    for (QCheckBox* encode : {encodeFilterButton_, encodeModeButton_, encodeDurationButton_, encodeTemperatureButton_})
        captureLayout->addRow(encode);

    auto* optics = new QGroupBox(tr("Telescope"), this);
    auto* opticsLayout = new QFormLayout(optics);
    opticsLayout->addRow(tr("Aperture:"), apertureField_);
    opticsLayout->addRow(tr("Focal length:"), focalLengthField_);

    auto* display = new QGroupBox(tr("Display"), this);
    auto* displayLayout = new QVBoxLayout(display);
    displayLayout->addWidget(showCrosshairButton_);
    displayLayout->addWidget(hidePanelsButton_);
    displayLayout->addWidget(enableBLOBTransferButton_);

    auto* colors = new QGroupBox(tr("Colours"), this);
    auto* colorsLayout = new QFormLayout(colors);
    colorsLayout->addRow(tr("Marker:"), markerColor_);
    colorsLayout->addRow(tr("Graph 1:"), graphColor1_);
    colorsLayout->addRow(tr("Graph 2:"), graphColor2_);
    colorsLayout->addRow(tr("Background:"), backgroundColor_);

    auto* server = new QGroupBox(tr("INDIGO server"), this);
    auto* serverLayout = new QFormLayout(server);
    serverLayout->addRow(tr("Port:"), indigoPortNumberField_);
    serverLayout->addRow(tr("Service name:"), indigoServiceNameField_);
    serverLayout->addRow(tr("Service type:"), indigoServiceTypeField_);
    serverLayout->addRow(tr("Log level:"), logLevelPopup_);

    driversTable_->setMinimumWidth(320);
    auto* driversBox = new QGroupBox(tr("Drivers"), this);
    (new QVBoxLayout(driversBox))->addWidget(driversTable_);
    auto* servicesBox = new QGroupBox(tr("Services"), this);
    (new QVBoxLayout(servicesBox))->addWidget(servicesPanel_);

    // Three columns, so that the sheet fits a 1366 x 768 screen.
    auto* grid = new QGridLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(camera);
    left->addWidget(display);
    left->addWidget(colors);
    left->addStretch(1);
    auto* middle = new QVBoxLayout;
    middle->addWidget(capture);
    middle->addWidget(optics);
    middle->addWidget(server);
    middle->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(driversBox, 1);
    right->addWidget(servicesBox, 1);
    grid->addLayout(left, 0, 0);
    grid->addLayout(middle, 0, 1);
    grid->addLayout(right, 0, 2);
    grid->setColumnStretch(2, 1);

    error_->setStyleSheet("color: #c00000;");
    error_->setWordWrap(true);
    error_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(error_, 1);
    buttons->addStretch(0);
    buttons->addWidget(cancel_);
    buttons->addWidget(ok_);
    ok_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    // The encode switches name numbered files; a video run has one name.
    const auto followOutputFormat = [this] {
        const bool numbered = outputFormatPopup_->currentIndex() == 0;
        for (QCheckBox* encode :
             {encodeFilterButton_, encodeModeButton_, encodeDurationButton_, encodeTemperatureButton_})
            encode->setEnabled(numbered);
    };
    connect(outputFormatPopup_, &QComboBox::currentIndexChanged, this, followOutputFormat);
    connect(ok_, &QPushButton::clicked, this, [this] {
        const std::string problem = preferencesError(values());
        error_->setText(QString::fromStdString(problem));
        error_->setVisible(!problem.empty());
        if (!problem.empty()) {
            indigoPortNumberField_->setFocus();
            indigoPortNumberField_->selectAll();
            return;
        }
        emit okClicked();
    });
    connect(cancel_, &QPushButton::clicked, this, &PreferencesDialog::cancelClicked);
    // Escape and the window's close button count as Cancel.
    connect(this, &QDialog::rejected, this, &PreferencesDialog::cancelClicked);
}

PreferencesValues PreferencesDialog::values() const {
    PreferencesValues values;
    values.useMirrorLockup = useMirrorLockupButton_->isChecked();
    values.avoidAF = avoidAFButton_->isChecked();
    values.deleteDownloadedImages = deleteDownloadedImagesButton_->isChecked();
    values.lockCameraGUI = lockCameraGUIButton_->isChecked();
    values.markerColor = markerColor_->color();
    values.graphColor1 = graphColor1_->color();
    values.graphColor2 = graphColor2_->color();
    values.backgroundColor = backgroundColor_->color();
    values.portText = indigoPortNumberField_->text().trimmed().toStdString();
    values.serviceName = indigoServiceNameField_->text().toStdString();
    values.serviceType = indigoServiceTypeField_->text().toStdString();
    values.logLevel = std::max(0, logLevelPopup_->currentIndex());
    values.outputFormat = zeta::batch::outputFormatValue(
        static_cast<std::size_t>(std::max(0, outputFormatPopup_->currentIndex())), shownOutputFormat_);
    values.encodeFilter = encodeFilterButton_->isChecked();
    values.encodeMode = encodeModeButton_->isChecked();
    values.encodeDuration = encodeDurationButton_->isChecked();
    values.encodeTemperature = encodeTemperatureButton_->isChecked();
    values.aperture = apertureField_->value();
    values.focalLength = focalLengthField_->value();
    values.useFahrenheit = useFahrenheitButton_->isChecked();
    values.showCrosshair = showCrosshairButton_->isChecked();
    values.hidePanels = hidePanelsButton_->isChecked();
    values.enableBLOBTransfer = enableBLOBTransferButton_->isChecked();
    return values;
}

void PreferencesDialog::setValues(const PreferencesValues& values) {
    useMirrorLockupButton_->setChecked(values.useMirrorLockup);
    avoidAFButton_->setChecked(values.avoidAF);
    deleteDownloadedImagesButton_->setChecked(values.deleteDownloadedImages);
    lockCameraGUIButton_->setChecked(values.lockCameraGUI);
    markerColor_->setColor(values.markerColor);
    graphColor1_->setColor(values.graphColor1);
    graphColor2_->setColor(values.graphColor2);
    backgroundColor_->setColor(values.backgroundColor);
    indigoPortNumberField_->setText(QString::fromStdString(values.portText));
    indigoServiceNameField_->setPlaceholderText(QString::fromStdString(APP_NAME()));
    indigoServiceNameField_->setText(QString::fromStdString(values.serviceName));
    indigoServiceTypeField_->setText(QString::fromStdString(values.serviceType));
    logLevelPopup_->setCurrentIndex(values.logLevel);
    shownOutputFormat_ = values.outputFormat;
    outputFormatPopup_->setCurrentIndex(static_cast<int>(zeta::batch::outputFormatIndex(values.outputFormat)));
    encodeFilterButton_->setChecked(values.encodeFilter);
    encodeModeButton_->setChecked(values.encodeMode);
    encodeDurationButton_->setChecked(values.encodeDuration);
    encodeTemperatureButton_->setChecked(values.encodeTemperature);
    apertureField_->setValue(values.aperture);
    focalLengthField_->setValue(values.focalLength);
    useFahrenheitButton_->setChecked(values.useFahrenheit);
    showCrosshairButton_->setChecked(values.showCrosshair);
    hidePanelsButton_->setChecked(values.hidePanels);
    enableBLOBTransferButton_->setChecked(values.enableBLOBTransfer);
    error_->clear();
    error_->hide();
}

void PreferencesDialog::beginSheet() {
    open();
}

void PreferencesDialog::endSheet() {
    // hide(), not reject(): ending the sheet must not count as a Cancel of its own.
    hide();
}

} // namespace zeta::app
