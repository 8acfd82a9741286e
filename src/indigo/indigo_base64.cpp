#include "indigo/indigo_base64.h"

#include <array>

namespace zeta::indigo::wire {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::uint8_t kSpace = 0xFE;
constexpr std::uint8_t kPad = 0xFD;
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable()
{
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

}  // namespace

std::size_t base64Length(std::size_t size)
{
    return (size + 2) / 3 * 4;
}

void appendBase64(std::string& out, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t start = out.size();
    out.resize(start + base64Length(size));
    char* target = out.data() + start;
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        target[0] = kAlphabet[(group >> 18) & 63];
        target[1] = kAlphabet[(group >> 12) & 63];
        target[2] = kAlphabet[(group >> 6) & 63];
        target[3] = kAlphabet[group & 63];
        target += 4;
    }
    const std::size_t left = size - i;
    if (left > 0) {
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (left == 2)
            group |= std::uint32_t{bytes[i + 1]} << 8;
        target[0] = kAlphabet[(group >> 18) & 63];
        target[1] = kAlphabet[(group >> 12) & 63];
        target[2] = left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        target[3] = '=';
    }
}

bool Base64Decoder::feed(const char* text, std::size_t size)
{
    if (failed_)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t code = kDecode[static_cast<unsigned char>(text[i])];
        if (code < 64 && padding_ == 0) {
            ++characters_;
            group_ = (group_ << 6) | code;
            if (++filled_ == 4) {
                if (static_cast<std::int64_t>(out_.size()) + 3 > limit_) {
                    failed_ = overLimit_ = true;
                    return false;
                }
                out_.push_back(static_cast<std::uint8_t>(group_ >> 16));
                out_.push_back(static_cast<std::uint8_t>(group_ >> 8));
                out_.push_back(static_cast<std::uint8_t>(group_));
                group_ = 0;
                filled_ = 0;
            }
            continue;
        }
        if (code == kSpace)
            continue;
        ++characters_;
        // "=" may only end a group, in its third or fourth place; nothing follows it.
        if (code != kPad || padding_ < 0 || filled_ + padding_ < 2) {
            failed_ = true;
            return false;
        }
        ++padding_;
        if (filled_ + padding_ == 4) {
            const int bytes = filled_ - 1;
            if (static_cast<std::int64_t>(out_.size()) + bytes > limit_) {
                failed_ = overLimit_ = true;
                return false;
            }
            const std::uint32_t group = group_ << (6 * (4 - filled_));
            out_.push_back(static_cast<std::uint8_t>(group >> 16));
            if (bytes == 2)
                out_.push_back(static_cast<std::uint8_t>(group >> 8));
            group_ = 0;
            filled_ = 0;
            padding_ = -1;   // the data is over
        }
    }
    return true;
}

bool Base64Decoder::finish()
{
    if (failed_)
        return false;
    if (filled_ != 0 || padding_ > 0) {
        failed_ = true;
        return false;
    }
    return true;
}

}  // namespace zeta::indigo::wire
