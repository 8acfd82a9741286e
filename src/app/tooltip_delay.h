#pragma once
// The delay before a tooltip shows. Qt reads it from the application's style, so the style is
// wrapped once in one that answers with the delay asked for.

namespace zeta::app {

// Applies to every widget of the application from now on.
void applyToolTipDelay(int milliseconds);

// The delay the application's style gives now, in milliseconds.
int toolTipDelay();

} // namespace zeta::app
