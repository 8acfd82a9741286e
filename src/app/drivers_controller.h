#pragma once
// DriversController: the drivers table of the preferences sheet. Ticking a row only records
// the wish; applyDriverStates() (after OK) loads the drivers newly wanted and unloads those no
// longer wanted. Rows follow the catalogue's display order.

#include "Common/base_controller.h"
#include "Common/main_hop.h"
#include "app/indigo_admin.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace zeta::app {

class DriversView {
public:
    virtual ~DriversView() = default;
    virtual void reloadDrivers() = 0;
};

class DriversController : public BaseController {
public:
    explicit DriversController(std::shared_ptr<IndigoAdmin> admin) : admin_(std::move(admin)) {}

    void setView(DriversView* view) { view_ = view; }

    void addDriver(const std::shared_ptr<INDIGO::Driver>& driver) override;
    // Every row's wish becomes its driver's loaded state now.
    void loadPreferences() override;
    // applyDriverStates() on a background queue.
    void savePreferences() override;

    std::size_t numberOfRows() const;
    // The row's wish; none when it has no recorded choice.
    std::optional<bool> wantedState(std::size_t row) const;
    // The description and version; none when the row's name has no driver.
    std::optional<std::string> rowText(std::size_t row) const;
    // A click on the row's checkbox; none removes the row's choice.
    void setWantedState(std::size_t row, std::optional<bool> wanted);

    // Loads and unloads after the recorded wishes; blocking (savePreferences runs it on a
    // background queue, after the sheet has ended).
    void applyDriverStates();

private:
    void reloadOnMainQueue();
    static void apply(IndigoAdmin& admin, const std::map<std::size_t, bool>& wishes);

    std::shared_ptr<IndigoAdmin> admin_;
    DriversView* view_ = nullptr;
    std::map<std::size_t, bool> state_;
    zeta::common::MainHop main_;
};

} // namespace zeta::app
