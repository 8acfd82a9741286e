#pragma once
// The choices of "outputFormat" a user is offered: numbered files (one per frame, in the
// frame's own format) or one SER, AVI or MOV video per run. The writer reads the setting;
// the preferences sheet and the camera window offer these choices.

#include <array>
#include <string>
#include <string_view>

namespace zeta::batch {

struct OutputFormatChoice {
    const char* title;
    const char* value; // as stored
};

inline constexpr std::array<OutputFormatChoice, 4> kOutputFormats{{
    {"Numbered files", "FITS"},
    {"SER video", "SER"},
    {"AVI video", "AVI"},
    {"MOV video", "MOV"},
}};

// The choice a stored value stands for: the video whose name it is exactly, else numbered files
// (the writer reads any other value so).
std::size_t outputFormatIndex(std::string_view stored);

// What to store for a choice. Numbered files keep a stored value that already means them
// (another text a user had there), so that showing and confirming changes nothing.
std::string outputFormatValue(std::size_t index, std::string_view stored);

// Whether a stored value makes the writer write one video per run.
bool isVideoFormat(std::string_view stored);

} // namespace zeta::batch
