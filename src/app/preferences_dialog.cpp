#include "app/preferences_dialog.h"

#include "app/drivers_table.h"
#include "app/services_panel.h"
#include "platform/constants.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
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
      logLevelPopup_(new QComboBox(this)), driversTable_(new DriversTable(drivers, this)),
      servicesPanel_(new ServicesPanel(services, this)), ok_(new QPushButton(tr("OK"), this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    setObjectName("preferencePanel");
    setWindowTitle(tr("Preferences"));
    setWindowModality(Qt::WindowModal);
    markerColor_->setObjectName("markerColor");
    graphColor1_->setObjectName("graphColor1");
    graphColor2_->setObjectName("graphColor2");
    backgroundColor_->setObjectName("backgroundColor");
    indigoPortNumberField_->setObjectName("indigoPortNumberField");
    indigoServiceNameField_->setObjectName("indigoServiceNameField");
    indigoServiceTypeField_->setObjectName("indigoServiceTypeField");
    logLevelPopup_->setObjectName("logLevelPopup");
    ok_->setObjectName("okButton");
    cancel_->setObjectName("cancelButton");
    for (const std::string& title : logLevelTitles())
        logLevelPopup_->addItem(QString::fromStdString(title));

    auto* camera = new QGroupBox(tr("Camera"), this);
    auto* cameraLayout = new QVBoxLayout(camera);
    cameraLayout->addWidget(useMirrorLockupButton_);
    cameraLayout->addWidget(avoidAFButton_);
    cameraLayout->addWidget(deleteDownloadedImagesButton_);
    cameraLayout->addWidget(lockCameraGUIButton_);

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

    auto* grid = new QGridLayout;
    grid->addWidget(camera, 0, 0);
    grid->addWidget(colors, 0, 1);
    grid->addWidget(server, 1, 0, 1, 2);
    grid->addWidget(driversBox, 0, 2, 2, 1);
    grid->addWidget(servicesBox, 2, 0, 1, 3);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(ok_);
    ok_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, &PreferencesDialog::okClicked);
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
    values.portText = indigoPortNumberField_->text().toStdString();
    values.serviceName = indigoServiceNameField_->text().toStdString();
    values.serviceType = indigoServiceTypeField_->text().toStdString();
    values.logLevel = std::max(0, logLevelPopup_->currentIndex());
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
}

void PreferencesDialog::beginSheet() {
    open();
}

void PreferencesDialog::endSheet() {
    // hide(), not reject(): ending the sheet must not count as a Cancel of its own.
    hide();
}

} // namespace zeta::app
