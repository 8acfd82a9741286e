#pragma once
// The preferences sheet: a window-modal dialog on the main window with the camera switches,
// the four colours, the local server's settings, the log level, the drivers table and the
// services panel. It only shows and forwards: OK and Cancel go to the app delegate.

#include "app/application_view.h"

#include <QDialog>
#include <QPushButton>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;

namespace zeta::app {

class DriversController;
class DriversTable;
class ServicesController;
class ServicesPanel;

// A button that shows a colour and lets the user pick another.
class ColorWell final : public QPushButton {
    Q_OBJECT
public:
    explicit ColorWell(QWidget* parent = nullptr);
    platform::Color color() const { return color_; }
    void setColor(const platform::Color& color);

private:
    platform::Color color_;
};

class PreferencesDialog final : public QDialog, public PreferencesView {
    Q_OBJECT
public:
    PreferencesDialog(DriversController& drivers, ServicesController& services, QWidget* parent);

    PreferencesValues values() const override;
    void setValues(const PreferencesValues& values) override;
    void beginSheet() override;
    void endSheet() override;

    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    DriversTable* driversTable() const { return driversTable_; }
    ServicesPanel* servicesPanel() const { return servicesPanel_; }
    QLabel* errorLabel() const { return error_; }

signals:
    // Only for values that can be stored: a bad port is refused with its reason shown.
    void okClicked();
    void cancelClicked();

private:
    QCheckBox* useMirrorLockupButton_;
    QCheckBox* avoidAFButton_;
    QCheckBox* deleteDownloadedImagesButton_;
    QCheckBox* lockCameraGUIButton_;
    ColorWell* markerColor_;
    ColorWell* graphColor1_;
    ColorWell* graphColor2_;
    ColorWell* backgroundColor_;
    QLineEdit* indigoPortNumberField_;
    QLineEdit* indigoServiceNameField_;
    QLineEdit* indigoServiceTypeField_;
    QComboBox* logLevelPopup_;
    QComboBox* outputFormatPopup_;
    QCheckBox* encodeFilterButton_;
    QCheckBox* encodeModeButton_;
    QCheckBox* encodeDurationButton_;
    QCheckBox* encodeTemperatureButton_;
    QDoubleSpinBox* apertureField_;
    QDoubleSpinBox* focalLengthField_;
    QCheckBox* useFahrenheitButton_;
    QCheckBox* showCrosshairButton_;
    QCheckBox* hidePanelsButton_;
    QCheckBox* enableBLOBTransferButton_;
    // The stored output format as shown, so that confirming without a change keeps it.
    std::string shownOutputFormat_;
    QLabel* error_;
    DriversTable* driversTable_;
    ServicesPanel* servicesPanel_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

} // namespace zeta::app
