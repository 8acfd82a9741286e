#pragma once
// Hides one panel while the application is inactive and shows it again when the application
// is active, when its panel: action asked for that ("hidePanels"). Follows the application's
// state changes, which every Linux platform reports. A panel whose controller takes the rule
// again later (on the preferences' OK) sets platform::kHidesOnDeactivateProperty, which the
// hider follows: the panel's library knows nothing of this one.

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace zeta::app {

class PanelHider final : public QObject {
    Q_OBJECT
public:
    // The hider belongs to the panel.
    explicit PanelHider(QWidget* panel);

    // The panel: action: takes "hidePanels" (default on) as the panel's rule, then brings the
    // panel to the front as the active window.
    void orderFront();

    bool hidesOnDeactivate() const { return hides_; }
    void applicationStateChanged(Qt::ApplicationState state);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> panel_;
    bool hides_ = false;
    bool hiddenForDeactivation_ = false;
};

} // namespace zeta::app
