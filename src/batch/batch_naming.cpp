#include "batch/batch_naming.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zeta::batch {

std::string sanitizedPart(std::string_view part) {
    std::string out(part);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7f) c = '_';
    }
    return out;
}

std::string durationPart(double seconds) {
    std::array<char, 64> text{};
    const int precision = seconds < 1.0 ? 4 : 0;
    auto written = std::to_chars(text.data(), text.data() + text.size(), seconds, std::chars_format::fixed, precision);
    // Only huge values overflow the buffer; they keep the general form.
    if (written.ec != std::errc()) written = std::to_chars(text.data(), text.data() + text.size(), seconds);
    std::string part = "_";
    part.append(text.data(), written.ptr);
    part += 's';
    return part;
}

std::string frameBaseName(std::string_view nameTemplate, const NameParts& parts, const NameEncoding& encoding) {
    std::string name = sanitizedPart(nameTemplate);
    // Appended piece by piece: "_" + part trips a false -Wrestrict in GCC 12's optimiser.
    if (encoding.filter && parts.filter) name.append("_").append(sanitizedPart(*parts.filter));
    if (encoding.mode && parts.mode) {
        std::string mode = sanitizedPart(*parts.mode);
        for (char& c : mode)
            if (c == ' ') c = '_';
        name.append("_").append(mode);
    }
    if (encoding.duration && parts.duration) name += durationPart(*parts.duration);
    if (encoding.temperature && parts.temperature) name.append("_").append(sanitizedPart(*parts.temperature));
    return name;
}

std::string sanitizedExtension(std::string_view extension) {
    return sanitizedPart(extension);
}

Reservation reserveNumbered(const std::string& base, const std::string& suffix) {
    Reservation result;
    for (int n = 1; n <= kMaxNumber; ++n) {
        char number[8];
        std::snprintf(number, sizeof number, "_%03d", n);
        std::string path = base + number + suffix;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            result.status = Reservation::Status::Reserved;
            result.path = std::move(path);
            result.fd = fd;
            return result;
        }
        if (errno == EEXIST) continue;
        result.status = Reservation::Status::Failed;
        result.error = errno;
        result.path = std::move(path);
        return result;
    }
    result.status = Reservation::Status::AllTaken;
    return result;
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string errorText(int error) {
    char buffer[256];
    // The GNU variant may return a static text instead of filling the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

} // namespace zeta::batch
