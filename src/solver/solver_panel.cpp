#include "solver/solver_panel.h"

#include "platform/constants.h"
#include "platform/gui/named_image.h"
#include "platform/gui/panel_hiding.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString text(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// Numbers shown as the field's own formatting would: shortest form, no exponent for plain values.
QString numberText(double value) {
    return QString::number(value, 'g', 10);
}

} // namespace

SolverPanel::SolverPanel(SolverController& controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setWindowTitle(tr("Plate Solver"));
    webServiceButton = new QRadioButton(tr("Web service"), this);
    localServiceButton = new QRadioButton(tr("Local service"), this);
    auto* radios = new QButtonGroup(this);
    radios->addButton(webServiceButton);
    radios->addButton(localServiceButton);
    publicURLText = new QLineEdit(this);
    apiKeyText = new QLineEdit(this);
    localURLText = new QLineEdit(this);
    localURLText->setReadOnly(true);
    localOverrideText = new QLineEdit(this);
    localOverrideText->setPlaceholderText(tr("found on the network"));
    localOverrideRefusal = new QLabel(this);
    localOverrideRefusal->setAccessibleName(tr("Local service URL refused"));
    localOverrideRefusal->setWordWrap(true);
    localOverrideRefusal->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    localOverrideRefusal->hide();
    statusImage = new QLabel(this);
    statusText = new QLabel(this);
    // A long status wraps in place: the panel keeps its width.
    statusText->setWordWrap(true);
    statusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    raField = new QLineEdit(this);
    decField = new QLineEdit(this);
    orientationField = new QLineEdit(this);
    pixelScaleField = new QLineEdit(this);
    for (QLineEdit* result : {raField, decField, orientationField, pixelScaleField})
        result->setReadOnly(true);
    solveButton = new QPushButton(tr("Solve"), this);
    syncButton = new QPushButton(tr("Sync"), this);
    slewButton = new QPushButton(tr("Slew"), this);

    auto* form = new QFormLayout;
    form->addRow(webServiceButton);
    form->addRow(tr("URL"), publicURLText);
    form->addRow(tr("API key"), apiKeyText);
    form->addRow(localServiceButton);
    form->addRow(tr("URL"), localURLText);
    form->addRow(tr("Local service URL"), localOverrideText);
    form->addRow(localOverrideRefusal);
    auto* status = new QHBoxLayout;
    status->addWidget(statusImage);
    status->addWidget(statusText, 1);
    form->addRow(status);
    form->addRow(tr("RA"), raField);
    form->addRow(tr("Dec"), decField);
    form->addRow(tr("Orientation"), orientationField);
    form->addRow(tr("Pixel scale"), pixelScaleField);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(solveButton);
    buttons->addWidget(syncButton);
    buttons->addWidget(slewButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(solveButton, &QPushButton::clicked, this, [this] { controller_.solveAction(); });
    connect(syncButton, &QPushButton::clicked, this, [this] { controller_.syncAction(); });
    connect(slewButton, &QPushButton::clicked, this, [this] { controller_.slewAction(); });
    for (QRadioButton* radio : {webServiceButton, localServiceButton})
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) controller_.saveAction();
        });
    connect(apiKeyText, &QLineEdit::editingFinished, this, [this] { controller_.saveAction(); });
    connect(publicURLText, &QLineEdit::editingFinished, this, [this] { controller_.saveAction(); });
    connect(localOverrideText, &QLineEdit::editingFinished, this,
            [this] { controller_.setLocalOverride(localOverrideText->text().toStdString()); });
    binding_.bind(this);
}

void SolverPanel::showStatus(std::string_view imageName, const std::optional<std::string>& message,
                             std::string_view solveTitle, bool solveEnabled) {
    statusImage->setPixmap(QPixmap::fromImage(zeta::platform::namedImage(imageName)));
    statusImage->setProperty("statusImageName", text(imageName));
    if (message) statusText->setText(text(*message));
    solveButton->setText(text(solveTitle));
    solveButton->setEnabled(solveEnabled);
}

void SolverPanel::setSolveEnabled(bool enabled) {
    solveButton->setEnabled(enabled);
}

void SolverPanel::setMountButtonsEnabled(bool enabled) {
    syncButton->setEnabled(enabled);
    slewButton->setEnabled(enabled);
}

void SolverPanel::showSolution(double raHours, double decDegrees, double orientation, double pixelScale) {
    raField->setText(text(formatSexagesimal(raHours, ":", ":")));
    decField->setText(text(formatSexagesimal(decDegrees, ":", ":")));
    orientationField->setText(numberText(orientation));
    pixelScaleField->setText(numberText(pixelScale));
}

void SolverPanel::clearSolution() {
    for (QLineEdit* result : {raField, decField, orientationField, pixelScaleField})
        result->clear();
}

void SolverPanel::showServiceChoice(const std::string& localURL, bool localEnabled, bool localOn) {
    localURLText->setText(text(localURL));
    localServiceButton->setEnabled(localEnabled);
    const QSignalBlocker blockLocal(localServiceButton), blockWeb(webServiceButton);
    localServiceButton->setChecked(localOn);
    webServiceButton->setChecked(!localOn);
}

void SolverPanel::showSettings(const std::string& apiKey, const std::string& publicURL) {
    apiKeyText->setText(text(apiKey));
    publicURLText->setText(text(publicURL));
}

void SolverPanel::showLocalOverride(const std::string& url, const std::optional<std::string>& refusal) {
    // A refused text stays in the field for the user to mend.
    if (!refusal) localOverrideText->setText(text(url));
    localOverrideRefusal->setText(refusal ? text(*refusal) : QString());
    localOverrideRefusal->setVisible(refusal.has_value());
}

std::string SolverPanel::apiKey() const {
    return apiKeyText->text().toStdString();
}
std::string SolverPanel::publicURL() const {
    return publicURLText->text().toStdString();
}
std::string SolverPanel::localURL() const {
    return localURLText->text().toStdString();
}
bool SolverPanel::localChosen() const {
    return localServiceButton->isChecked();
}
std::string SolverPanel::raText() const {
    return raField->text().toStdString();
}
std::string SolverPanel::decText() const {
    return decField->text().toStdString();
}
std::string SolverPanel::orientationText() const {
    return orientationField->text().toStdString();
}
std::string SolverPanel::pixelScaleText() const {
    return pixelScaleField->text().toStdString();
}

void SolverPanel::setHidesOnDeactivate(bool hides) {
    setProperty(zeta::platform::kHidesOnDeactivateProperty, hides);
}
