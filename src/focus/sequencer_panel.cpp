#include "focus/sequencer_panel.h"

#include "platform/constants.h"
#include "platform/gui/named_image.h"
#include "platform/gui/panel_hiding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <class Values>
QComboBox* comboOf(const Values& values, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    // The list offers values; what the user types stays as typed (no completion to "30").
    combo->setCompleter(nullptr);
    for (const auto value : values)
        combo->addItem(QString::number(value));
    combo->setCurrentIndex(-1);
    return combo;
}

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

void showLight(QLabel* light, std::string_view imageName) {
    light->setPixmap(QPixmap::fromImage(zeta::platform::namedImage(imageName)));
    light->setProperty("statusImageName",
                       QString::fromUtf8(imageName.data(), static_cast<qsizetype>(imageName.size())));
}

} // namespace

SequencerPanel::SequencerPanel(SequencerController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
    setWindowTitle(tr("Sequencer"));
    auto* grid = new QGridLayout;
    const QStringList headers{tr("Use"), tr("Exposure (s)"), tr("Interval (s)"), tr("Count"), tr("Name"), {}};
    for (int column = 0; column < headers.size(); ++column)
        grid->addWidget(new QLabel(headers[column], this), 0, column);
    for (int i = 0; i < kRows; ++i) {
        RowControls& row = rows[static_cast<std::size_t>(i)];
        row.use = new QCheckBox(this);
        row.duration = comboOf(EXPOSURE_TIMES(), this);
        row.timeLapse = comboOf(TIME_LAPSE_INTERVALS(), this);
        row.count = comboOf(FRAME_COUNTS(), this);
        row.name = new QLineEdit(this);
        row.status = new QLabel(this);
        showLight(row.status, zeta::platform::kStatusNone);
        const QString number = QString::number(i + 1);
        row.use->setAccessibleName(tr("Use row %1").arg(number));
        row.duration->setAccessibleName(tr("Exposure row %1").arg(number));
        row.timeLapse->setAccessibleName(tr("Interval row %1").arg(number));
        row.count->setAccessibleName(tr("Count row %1").arg(number));
        row.name->setAccessibleName(tr("Name row %1").arg(number));
        row.status->setAccessibleName(tr("Status row %1").arg(number));
        grid->addWidget(row.use, i + 1, 0);
        grid->addWidget(row.duration, i + 1, 1);
        grid->addWidget(row.timeLapse, i + 1, 2);
        grid->addWidget(row.count, i + 1, 3);
        grid->addWidget(row.name, i + 1, 4);
        grid->addWidget(row.status, i + 1, 5);
    }
    repeatCombo = new QComboBox(this);
    repeatCombo->setEditable(true);
    repeatCombo->setAccessibleName(tr("Repeat"));
    repeatCombo->setCompleter(nullptr);
    executeButton = new QPushButton(tr("Execute"), this);
    connect(executeButton, &QPushButton::clicked, this, [this] { controller_.executeAction(); });
    statusImage = new QLabel(this);
    statusImage->setAccessibleName(tr("Sequence status"));
    statusText = new QLabel(this);
    statusText->setAccessibleName(tr("Sequence status text"));
    statusText->setWordWrap(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("Repeat"), this));
    bottom->addWidget(repeatCombo);
    bottom->addWidget(statusImage);
    bottom->addWidget(statusText, 1);
    bottom->addWidget(executeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    binding_.bind(this);
}

SequencerRow SequencerPanel::row(int n) const {
    const RowControls& row = rows[static_cast<std::size_t>(n - 1)];
    return {row.use->isChecked() ? "1" : "0", row.duration->currentText().toStdString(),
            row.timeLapse->currentText().toStdString(), row.count->currentText().toStdString(),
            row.name->text().toStdString()};
}

void SequencerPanel::showRow(int n, const SequencerRow& values) {
    RowControls& row = rows[static_cast<std::size_t>(n - 1)];
    // A checkbox's text value: a positive number is on.
    row.use->setChecked(std::atoi(values.use.c_str()) > 0);
    row.duration->setCurrentText(text(values.duration));
    row.timeLapse->setCurrentText(text(values.timeLapse));
    row.count->setCurrentText(text(values.count));
    row.name->setText(text(values.name));
}

long long SequencerPanel::repeatCount() const {
    return repeatCombo->currentText().toLongLong();
}

void SequencerPanel::showRepeatCount(long long count) {
    repeatCombo->setCurrentText(QString::number(count));
}

void SequencerPanel::showRowStatus(int n, std::string_view imageName) {
    showLight(rows[static_cast<std::size_t>(n - 1)].status, imageName);
}

void SequencerPanel::showStatusImage(std::string_view imageName) {
    showLight(statusImage, imageName);
}

void SequencerPanel::showStatusText(const std::string& value) {
    statusText->setText(text(value));
}

void SequencerPanel::showExecuteTitle(const std::string& title) {
    executeButton->setText(text(title));
}

void SequencerPanel::hideEvent(QHideEvent* event) {
    controller_.hideAction();
    QWidget::hideEvent(event);
}

void SequencerPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) controller_.windowDidResignKey();
    QWidget::changeEvent(event);
}

void SequencerPanel::setHidesOnDeactivate(bool hides) {
    setProperty(zeta::platform::kHidesOnDeactivateProperty, hides);
}
