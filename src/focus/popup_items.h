#pragma once
// Fills a popup with the controller's entries without echoing the change back as a choice.

#include <string>
#include <vector>

class QComboBox;

namespace zeta::focus {

void showPopupItems(QComboBox& popup, const std::vector<std::string>& titles, int selected, bool enabled);

} // namespace zeta::focus
