#include "batch/output_format.h"

namespace zeta::batch {

bool isVideoFormat(std::string_view stored) {
    return stored == "SER" || stored == "AVI" || stored == "MOV";
}

std::size_t outputFormatIndex(std::string_view stored) {
    for (std::size_t i = 1; i < kOutputFormats.size(); ++i) {
        if (stored == kOutputFormats[i].value) return i;
    }
    return 0;
}

std::string outputFormatValue(std::size_t index, std::string_view stored) {
    if (index == 0 || index >= kOutputFormats.size())
        return isVideoFormat(stored) || stored.empty() ? std::string(kOutputFormats[0].value) : std::string(stored);
    return kOutputFormats[index].value;
}

} // namespace zeta::batch
