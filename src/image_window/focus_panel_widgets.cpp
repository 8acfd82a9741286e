#include "image_window/focus_panel_widgets.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

QLabel* field(QWidget* parent, const char* name) {
    auto* label = new QLabel("--", parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* picture(QWidget* parent, const char* name, QSize size) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFixedSize(size);
    label->setStyleSheet("background: #202020");
    return label;
}

} // namespace

FocusPanel::FocusPanel(const QString& title, QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle(title);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && hidesOnDeactivate_ && isVisible()) {
            hiddenForDeactivation_ = true;
            hide();
        } else if (state == Qt::ApplicationActive && hiddenForDeactivation_) {
            hiddenForDeactivation_ = false;
            show();
        }
    });
}

void FocusPanel::orderFront() {
    show();
    raise();
    activateWindow();
}

PsfPanel::PsfPanel(QWidget* parent) : FocusPanel(tr("PSF"), parent) {
    setObjectName("psfPanel");
    fwhmField = field(this, "fwhmField");
    hfdField = field(this, "hfdField");
    peakField = field(this, "peakField");
    backgroundField = field(this, "backgroundField");
    psfImageView = picture(this, "psfImageView", {200, 100});
    detailImageView = picture(this, "detailImageView", {180, 180});
    auto* form = new QFormLayout;
    form->addRow(tr("FWHM"), fwhmField);
    form->addRow(tr("HFD"), hfdField);
    form->addRow(tr("Peak"), peakField);
    form->addRow(tr("Background"), backgroundField);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(psfImageView);
    layout->addWidget(detailImageView);
}

DriftPanel::DriftPanel(QWidget* parent) : FocusPanel(tr("Drift"), parent) {
    setObjectName("driftPanel");
    driftImageView = picture(this, "driftImageView", {400, 100});
    driftAXField = field(this, "driftAXField");
    driftBXField = field(this, "driftBXField");
    // The fields hold bare slopes until the first frame: their labels tell the axes apart.
    auto* form = new QFormLayout;
    form->addRow(tr("X drift (px/frame)"), driftAXField);
    form->addRow(tr("Y drift (px/frame)"), driftBXField);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(driftImageView);
    layout->addLayout(form);
}

BahtinovPanel::BahtinovPanel(QWidget* parent) : FocusPanel(tr("Bahtinov"), parent) {
    setObjectName("bahtinovPanel");
    bahtinovImageView = picture(this, "bahtinovImageView", {200, 200});
    focusErrorField = field(this, "focusErrorField");
    focusErrorUnitField = field(this, "focusErrorUnitField");
    focusErrorUnitField->setText("px");
    focusErrorUnitField->setAccessibleName(tr("Focus error unit"));
    cfzField = field(this, "cfzField");
    auto* form = new QFormLayout;
    auto* error = new QHBoxLayout;
    error->addWidget(focusErrorField);
    error->addWidget(focusErrorUnitField);
    error->addStretch(1); // the unit stays beside its number
    form->addRow(tr("Focus error"), error);
    form->addRow(tr("CFZ (µm)"), cfzField);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bahtinovImageView);
    layout->addLayout(form);
}
