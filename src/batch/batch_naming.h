#pragma once
// How the files of a capture run are named and reserved.
//
// A frame file is <folder>/<template>[_filter][_mode][_duration][_temperature]_NNN<ext>, a
// run's video <folder>/<template>_NNN.<ext>, NNN the lowest free number from 001 to 999. A
// name is taken by creating its file exclusively, so two writers racing for the same folder
// never get the same file, and an existing file or folder is never overwritten.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zeta::batch {

inline constexpr int kMaxNumber = 999;

// The parts of a frame's name that the settings "encodeFilter", "encodeMode",
// "encodeDuration" and "encodeTemperature" switch on.
struct NameParts {
    std::optional<std::string> filter;
    std::optional<std::string> mode;
    std::optional<double> duration;
    std::optional<std::string> temperature;
};

struct NameEncoding {
    bool filter = true;
    bool mode = true;
    bool duration = true;
    bool temperature = false;
};

// The part with "/" and the other bytes a file name cannot hold (NUL, control characters)
// turned into "_".
std::string sanitizedPart(std::string_view part);

// "_0.5000s" below one second, "_30s" from one second on; independent of the locale.
std::string durationPart(double seconds);

// The template followed by the parts that are switched on and given, each sanitised; the mode's
// blanks become "_".
std::string frameBaseName(std::string_view nameTemplate, const NameParts& parts, const NameEncoding& encoding);

// The extension as a name may carry it: sanitised, keeping its own leading dot.
std::string sanitizedExtension(std::string_view extension);

struct Reservation {
    enum class Status {
        Reserved, // fd is open on the new, empty file at path
        AllTaken, // every number from 001 to 999 exists
        Failed,   // the folder refused the file: path and error tell which and why
    };
    Status status = Status::AllTaken;
    std::string path;
    int fd = -1;
    int error = 0;
};

// Creates the first free <base>_NNN<suffix> exclusively (O_CREAT|O_EXCL) and opens it for
// writing. Any error but "exists" ends the search at once.
Reservation reserveNumbered(const std::string& base, const std::string& suffix);

// Writes all bytes (across short writes and interrupts); false with errno set on failure.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t length);

// The text of an errno value.
std::string errorText(int error);

} // namespace zeta::batch
