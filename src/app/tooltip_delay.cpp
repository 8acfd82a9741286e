#include "app/tooltip_delay.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>

namespace zeta::app {

namespace {

class ToolTipDelayStyle final : public QProxyStyle {
public:
    ToolTipDelayStyle(QStyle* base, int delay) : QProxyStyle(base), delay_(delay) {}
    void setDelay(int delay) { delay_ = delay; }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return delay_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    int delay_;
};

} // namespace

void applyToolTipDelay(int milliseconds) {
    if (auto* wrapped = dynamic_cast<ToolTipDelayStyle*>(QApplication::style())) {
        wrapped->setDelay(milliseconds);
        return;
    }
    // A fresh base of the same kind: the application owns (and deletes) the style it has now.
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    QApplication::setStyle(new ToolTipDelayStyle(base, milliseconds));
}

int toolTipDelay() {
    return QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay);
}

} // namespace zeta::app
