#include "indigo/bus/text_field.h"

#include "indigo/indigo_property.h"

#include <cstring>

namespace zeta::indigo {

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::size_t fittingLength(const char* source, std::size_t fieldSize) {
    if (source == nullptr || fieldSize == 0) return 0;
    const std::size_t limit = fieldSize - 1;
    const std::size_t length = strnlen(source, limit + 1);
    if (length <= limit) return length;
    // source[limit] is the first byte left out: step back over a character it continues.
    std::size_t cut = limit;
    while (cut > 0 && isContinuationByte(source[cut]))
        --cut;
    return cut;
}

void copyField(char* field, std::size_t fieldSize, const char* source) {
    if (fieldSize == 0) return;
    const std::size_t length = fittingLength(source, fieldSize);
    if (length > 0) std::memmove(field, source, length);
    field[length] = '\0';
}

} // namespace zeta::indigo

extern "C" char* indigo_copy_name(char* target, const char* source) {
    if (target != nullptr) zeta::indigo::copyField(target, INDIGO_NAME_SIZE, source);
    return target;
}

extern "C" char* indigo_copy_value(char* target, const char* source) {
    if (target != nullptr) zeta::indigo::copyField(target, INDIGO_VALUE_SIZE, source);
    return target;
}
