#include "indigo/wire/indigo_base64.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace zeta::indigo::wire {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::uint8_t kSpace = 0xFE;
constexpr std::uint8_t kPad = 0xFD;
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table)
        entry = kInvalid;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    table[static_cast<unsigned char>('=')] = kPad;
    for (char c : {' ', '\t', '\r', '\n'})
        table[static_cast<unsigned char>(c)] = kSpace;
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecode = makeDecodeTable();

} // namespace

std::size_t base64Length(std::size_t size) {
    return (size + 2) / 3 * 4;
}

namespace {

// The two characters of each 12-bit value: a group of three bytes is two lookups.
struct PairTable {
    char pairs[4096][2];
    constexpr PairTable() : pairs() {
        for (int i = 0; i < 4096; ++i) {
            pairs[i][0] = kAlphabet[i >> 6];
            pairs[i][1] = kAlphabet[i & 63];
        }
    }
};

constexpr PairTable kPairs;

#if defined(__x86_64__)

// Groups of 24 bytes at a time into 32 characters. Each 32-bit lane gets one group of three
// bytes (b0 b1 b2) laid out as b1 b0 b2 b1, so that its two 16-bit halves hold b0b1 and b1b2
// and the four 6-bit indices come out of them with one multiply each; the indices then map
// to the alphabet by adding an offset per range (A-Z, a-z, 0-9, "+", "/"). Returns the bytes
// done, a multiple of 24; each step reads 28.
__attribute__((target("avx2"))) std::size_t encodeWide(const std::uint8_t* bytes, std::size_t size, char* target) {
    const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, //
                                            1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    const __m256i firstAndThird = _mm256_set1_epi32(0x0FC0FC00);
    const __m256i firstAndThirdShift = _mm256_set1_epi32(0x04000040);
    const __m256i secondAndFourth = _mm256_set1_epi32(0x003F03F0);
    const __m256i secondAndFourthShift = _mm256_set1_epi32(0x01000010);
    // Offsets by range: index 0..25 -> 13 ("A"), 26..51 -> 0 ("a"), 52..61 -> 1..10 ("0"),
    // 62 -> 11 ("+"), 63 -> 12 ("/").
    const __m256i offsets = _mm256_setr_epi8(71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0, //
                                             71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0);
    const __m256i fiftyOne = _mm256_set1_epi8(51);
    const __m256i twentySix = _mm256_set1_epi8(26);
    const __m256i thirteen = _mm256_set1_epi8(13);
    std::size_t i = 0;
    for (; i + 28 <= size; i += 24) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 12));
        const __m256i in = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), spread);
        const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(in, firstAndThird), firstAndThirdShift);
        const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(in, secondAndFourth), secondAndFourthShift);
        const __m256i indices = _mm256_or_si256(first, second);
        __m256i range = _mm256_subs_epu8(indices, fiftyOne);
        range = _mm256_or_si256(range, _mm256_and_si256(_mm256_cmpgt_epi8(twentySix, indices), thirteen));
        const __m256i text = _mm256_add_epi8(indices, _mm256_shuffle_epi8(offsets, range));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), text);
        target += 32;
    }
    return i;
}

bool wideEncoding() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

// 32 characters at a time into 24 bytes, while they are all of the alphabet: each character
// is checked by two table lookups (on its low and high nibble, whose bits meet only for
// characters outside it) and mapped by adding an offset chosen by its high nibble ("/" apart);
// the 6-bit values are then packed by two multiply-adds and a shuffle. Stops at the first
// block with anything else (padding, white space, a bad character), which the caller decodes
// one by one. Returns the characters done, a multiple of 32. Each step writes 32 bytes at
// target: the caller keeps 8 bytes of room past the 24 it fills.
__attribute__((target("avx2"))) std::size_t decodeWide(const unsigned char* text, std::size_t size,
                                                       std::uint8_t* target) {
    const __m256i lowTable = _mm256_setr_epi8(
        0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A, //
        0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i highTable = _mm256_setr_epi8(
        0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, //
        0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m256i rollTable = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, //
                                               0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i slash = _mm256_set1_epi8(0x2F);
    const __m256i pairs = _mm256_set1_epi32(0x01400140);
    const __m256i quads = _mm256_set1_epi32(0x00011000);
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, //
                                           2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
        const __m256i highNibbles = _mm256_and_si256(_mm256_srli_epi32(in, 4), slash);
        const __m256i lowNibbles = _mm256_and_si256(in, slash);
        const __m256i low = _mm256_shuffle_epi8(lowTable, lowNibbles);
        const __m256i high = _mm256_shuffle_epi8(highTable, highNibbles);
        if (!_mm256_testz_si256(low, high)) break;
        const __m256i isSlash = _mm256_cmpeq_epi8(in, slash);
        const __m256i roll = _mm256_shuffle_epi8(rollTable, _mm256_add_epi8(isSlash, highNibbles));
        const __m256i values = _mm256_add_epi8(in, roll);
        const __m256i merged = _mm256_madd_epi16(_mm256_maddubs_epi16(values, pairs), quads);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(merged, order), lanes);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), packed);
        target += 24;
    }
    return i;
}

#endif

} // namespace

void appendBase64(std::string& out, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t start = out.size();
    out.resize(start + base64Length(size));
    char* target = out.data() + start;
    std::size_t i = 0;
#if defined(__x86_64__)
    if (wideEncoding()) {
        i = encodeWide(bytes, size, target);
        target += i / 3 * 4;
    }
#endif
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        std::memcpy(target, kPairs.pairs[group >> 12], 2);
        std::memcpy(target + 2, kPairs.pairs[group & 0xFFF], 2);
        target += 4;
    }
    const std::size_t left = size - i;
    if (left > 0) {
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (left == 2) group |= std::uint32_t{bytes[i + 1]} << 8;
        target[0] = kAlphabet[(group >> 18) & 63];
        target[1] = kAlphabet[(group >> 12) & 63];
        target[2] = left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        target[3] = '=';
    }
}

bool Base64Decoder::feed(const char* text, std::size_t size) {
    if (failed_) return false;
    // Room for everything this text can hold, written through a pointer, cut back after.
    const std::size_t start = out_.size();
    const std::size_t pending = static_cast<std::size_t>(filled_ + (padding_ > 0 ? padding_ : 0));
    out_.resize(start + (pending + size) / 4 * 3);
    std::uint8_t* const base = out_.data();
    std::uint8_t* target = base + start;
    // Bytes the limit still allows. Locals, not members: the stores through target could
    // alias them and make every iteration reload them.
    std::int64_t room = limit_ - static_cast<std::int64_t>(start);
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    std::uint32_t group = group_;
    int filled = filled_;
    int padding = padding_;
    std::size_t characters = 0;
    bool ok = true;
    for (std::size_t i = 0; i < size; ++i) {
        // Whole groups of four alphabet characters go at once.
        if (filled == 0 && padding == 0) {
#if defined(__x86_64__)
            // At least 48 characters left: the output has room for the 8 bytes each wide
            // step writes past its 24.
            if (size - i >= 48 && room >= 24 && wideEncoding()) {
                const std::size_t blocks =
                    std::min<std::size_t>((size - i - 16) / 32, static_cast<std::size_t>(room / 24));
                const std::size_t done = decodeWide(in + i, blocks * 32, target);
                target += done / 4 * 3;
                room -= static_cast<std::int64_t>(done / 4 * 3);
                characters += done;
                i += done;
            }
#endif
            while (i + 4 <= size && room >= 3) {
                const std::uint32_t a = kDecode[in[i]];
                const std::uint32_t b = kDecode[in[i + 1]];
                const std::uint32_t c = kDecode[in[i + 2]];
                const std::uint32_t d = kDecode[in[i + 3]];
                if ((a | b | c | d) >= 64) break;
                const std::uint32_t whole = (a << 18) | (b << 12) | (c << 6) | d;
                target[0] = static_cast<std::uint8_t>(whole >> 16);
                target[1] = static_cast<std::uint8_t>(whole >> 8);
                target[2] = static_cast<std::uint8_t>(whole);
                target += 3;
                room -= 3;
                characters += 4;
                i += 4;
            }
            if (i >= size) break;
        }
        const std::uint8_t code = kDecode[in[i]];
        if (code == kSpace) continue;
        ++characters;
        if (code < 64 && padding == 0) {
            group = (group << 6) | code;
            if (++filled == 4) {
                if (room < 3) {
                    overLimit_ = true;
                    ok = false;
                    break;
                }
                target[0] = static_cast<std::uint8_t>(group >> 16);
                target[1] = static_cast<std::uint8_t>(group >> 8);
                target[2] = static_cast<std::uint8_t>(group);
                target += 3;
                room -= 3;
                group = 0;
                filled = 0;
            }
            continue;
        }
        // "=" may only end a group, in its third or fourth place; nothing follows it.
        if (code != kPad || padding < 0 || filled + padding < 2) {
            ok = false;
            break;
        }
        ++padding;
        if (filled + padding == 4) {
            const int bytes = filled - 1;
            if (room < bytes) {
                overLimit_ = true;
                ok = false;
                break;
            }
            const std::uint32_t shifted = group << (6 * (4 - filled));
            *target++ = static_cast<std::uint8_t>(shifted >> 16);
            if (bytes == 2) *target++ = static_cast<std::uint8_t>(shifted >> 8);
            room -= bytes;
            group = 0;
            filled = 0;
            padding = -1; // the data is over
        }
    }
    group_ = group;
    filled_ = filled;
    padding_ = padding;
    characters_ += characters;
    failed_ = !ok;
    out_.resize(static_cast<std::size_t>(target - base));
    return ok;
}

bool Base64Decoder::finish() {
    if (failed_) return false;
    if (filled_ != 0 || padding_ > 0) {
        failed_ = true;
        return false;
    }
    return true;
}

} // namespace zeta::indigo::wire
