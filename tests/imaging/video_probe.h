#pragma once
// What ffprobe reads of a written video's first video stream, frames counted: its fields
// (codec_name, width, height, pix_fmt, nb_read_frames, time_base) by name.

#include "support/command.h"

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

inline std::map<std::string, std::string> probe(const std::filesystem::path& path) {
    const auto out = test_support::commandOutput("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                                 "stream=codec_name,width,height,pix_fmt,nb_read_frames,time_base "
                                                 "-of default=noprint_wrappers=1 '" +
                                                 path.string() + "' 2>/dev/null");
    std::map<std::string, std::string> fields;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}
