#include "app/panel_hider.h"

#include "platform/constants.h"

#include <QGuiApplication>

namespace zeta::app {

PanelHider::PanelHider(QWidget* panel) : QObject(panel), panel_(panel) {
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, &PanelHider::applicationStateChanged);
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
