#include "focus/popup_items.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace zeta::focus {

void showPopupItems(QComboBox& popup, const std::vector<std::string>& titles, int selected, bool enabled) {
    const QSignalBlocker block(&popup);
    popup.clear();
    for (const std::string& title : titles)
        popup.addItem(QString::fromStdString(title));
    popup.setCurrentIndex(selected);
    popup.setEnabled(enabled);
}

} // namespace zeta::focus
