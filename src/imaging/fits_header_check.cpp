#include "imaging/fits_header_check.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string>

namespace {

constexpr std::size_t kRecord = 2880;
constexpr std::size_t kCard = 80;

std::string trimmed(const char* text, std::size_t length) {
    std::size_t first = 0;
    while (first < length && text[first] == ' ')
        ++first;
    while (length > first && text[length - 1] == ' ')
        --length;
    return std::string(text + first, length - first);
}

// The whole number a card's value spells (before any comment), or none.
std::optional<long long> integer(const std::string& value) {
    std::string text = value.substr(0, value.find('/'));
    text = trimmed(text.data(), text.size());
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    for (std::size_t j = i; j < text.size(); ++j)
        if (!std::isdigit(static_cast<unsigned char>(text[j]))) return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10);
}

} // namespace

bool fitsTileHeadersAreSane(const std::uint8_t* bytes, std::size_t length) {
    std::size_t offset = 0;
    while (offset + kRecord <= length) {
        std::map<std::string, std::string> cards;
        bool ended = false;
        std::size_t at = offset;
        for (; at + kCard <= length; at += kCard) {
            const char* card = reinterpret_cast<const char*>(bytes + at);
            const std::string key = trimmed(card, 8);
            if (key == "END") {
                ended = true;
                at += kCard;
                break;
            }
            if (std::memcmp(card + 8, "= ", 2) == 0 && !cards.count(key)) cards[key] = trimmed(card + 10, kCard - 10);
        }
        if (!ended) return true; // CFITSIO refuses a header without END by itself
        const auto value = [&](const std::string& key) -> std::optional<long long> {
            const auto found = cards.find(key);
            if (found == cards.end()) return std::nullopt;
            return integer(found->second);
        };

        const auto image = cards.find("ZIMAGE");
        if (image != cards.end() && image->second.rfind("T", 0) == 0) {
            const auto axes = value("ZNAXIS");
            if (!axes || *axes < 1 || *axes > 999) return false;
            for (long long i = 1; i <= *axes; ++i) {
                const auto axis = value("ZNAXIS" + std::to_string(i));
                if (!axis || *axis < 1) return false;
                const std::string tileKey = "ZTILE" + std::to_string(i);
                if (cards.count(tileKey)) {
                    const auto tile = value(tileKey);
                    if (!tile || *tile < 1) return false;
                }
            }
        }

        // On to the next header: data of |BITPIX| / 8 x GCOUNT x (PCOUNT + NAXIS1 x ... x NAXISn).
        const auto bitpix = value("BITPIX");
        const auto naxis = value("NAXIS");
        if (!bitpix || !naxis || *naxis < 0 || *naxis > 999) return true;
        constexpr long long kLimit = std::numeric_limits<long long>::max() / 16;
        long long elements = *naxis == 0 ? 0 : 1;
        for (long long i = 1; i <= *naxis; ++i) {
            const auto n = value("NAXIS" + std::to_string(i));
            if (!n || *n < 0 || (*n != 0 && elements > kLimit / *n)) return true;
            elements *= *n;
        }
        const long long pcount = value("PCOUNT").value_or(0);
        const long long gcount = value("GCOUNT").value_or(1);
        const long long sampleBytes = std::llabs(*bitpix) / 8;
        if (pcount < 0 || gcount < 0 || elements > kLimit - pcount || sampleBytes < 1 || sampleBytes > 8) return true;
        const long long perGroup = elements + pcount;
        if (gcount != 0 && perGroup > kLimit / gcount / sampleBytes) return true;
        const long long data = perGroup * gcount * sampleBytes;
        const std::size_t headerEnd = (at + kRecord - 1) / kRecord * kRecord;
        const auto records = static_cast<unsigned long long>(data + static_cast<long long>(kRecord) - 1) / kRecord;
        if (records > (length - std::min(length, headerEnd)) / kRecord + 1) return true; // past the bytes
        offset = headerEnd + static_cast<std::size_t>(records) * kRecord;
    }
    return true;
}
