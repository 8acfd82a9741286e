#pragma once
// What WheelController shows: the view interface its widget implements (main queue only).

#include <string>
#include <vector>

namespace zeta::focus {

class WheelView {
public:
    virtual ~WheelView() = default;
    // The device popup: titles, selected entry (-1 none), enabled.
    virtual void showWheels(const std::vector<std::string>& titles, int selected, bool enabled) = 0;
    // The filter list: one entry per slot in slot order, the selected entry (-1 none), enabled.
    virtual void showFilters(const std::vector<std::string>& names, int selected, bool enabled) = 0;
};

} // namespace zeta::focus
