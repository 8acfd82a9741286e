#pragma once
// A simulated camera chosen in the camera window, as a journey's first steps usually are.

#include "journey_user.h"

#include <filesystem>
#include <string>

namespace journey {

// Waits until the camera window's popup offers the camera of this title, then picks it.
void pickCamera(const JourneyUser& camera, const std::string& title);

// The camera window with the camera of this title chosen and connected: its settings offered
// and Preview enabled (a click before that would start nothing).
JourneyUser chooseCamera(const std::string& title);

// How many files a run has written into the folder so far.
int filesIn(const std::filesystem::path& folder);

} // namespace journey
