#pragma once
// The Qt property by which a panel says whether it hides while the application is inactive.
// The panel's own library sets it when its controller takes "hidePanels" again; the window
// that shows the panel follows it, without either library knowing the other.

namespace zeta::platform {

inline constexpr char kHidesOnDeactivateProperty[] = "hidesOnDeactivate";

} // namespace zeta::platform
