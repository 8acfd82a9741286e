#include "journey_camera.h"

#include <algorithm>

namespace journey {

void pickCamera(const JourneyUser& camera, const std::string& title) {
    JourneyUser::waitUntil(
        [&] {
            const auto titles = camera.entries("Camera");
            return std::find(titles.begin(), titles.end(), title) != titles.end();
        },
        title + " in the camera popup");
    camera.pick("Camera", title);
}

JourneyUser chooseCamera(const std::string& title) {
    const JourneyUser camera = JourneyUser().within("Camera");
    pickCamera(camera, title);
    JourneyUser::waitUntil(
        [&] { return camera.sees("ISO") && camera.enabled("ISO") && camera.button("Preview")->isEnabled(); },
        title + " ready to preview");
    return camera;
}

int filesIn(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

} // namespace journey
