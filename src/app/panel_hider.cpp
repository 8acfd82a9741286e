#include "app/panel_hider.h"

#include "platform/constants.h"
#include "platform/gui/panel_hiding.h"

#include <QDynamicPropertyChangeEvent>
#include <QGuiApplication>

namespace zeta::app {

PanelHider::PanelHider(QWidget* panel) : QObject(panel), panel_(panel) {
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, &PanelHider::applicationStateChanged);
    panel->installEventFilter(this);
}

bool PanelHider::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_ && event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == platform::kHidesOnDeactivateProperty)
        hides_ = panel_->property(platform::kHidesOnDeactivateProperty).toBool();
    return QObject::eventFilter(watched, event);
}

void PanelHider::orderFront() {
    hides_ = DEFAULTS().boolForKey("hidePanels", true);
    hiddenForDeactivation_ = false;
    if (panel_ == nullptr) return;
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

void PanelHider::applicationStateChanged(Qt::ApplicationState state) {
    if (panel_ == nullptr) return;
    if (state != Qt::ApplicationActive) {
        if (hides_ && panel_->isVisible()) {
            hiddenForDeactivation_ = true;
            panel_->hide();
        }
    } else if (hiddenForDeactivation_) {
        hiddenForDeactivation_ = false;
        panel_->show();
    }
}

} // namespace zeta::app
