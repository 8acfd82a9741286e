#pragma once
// Copying texts into the records' fixed-size fields.

#include <cstddef>

namespace zeta::indigo {

// How many leading bytes of source fit a field of fieldSize bytes (terminator included)
// without splitting a UTF-8 character.
std::size_t fittingLength(const char* source, std::size_t fieldSize);

// Copies source (NULL: empty) into the field, cut to fit, always terminated.
void copyField(char* field, std::size_t fieldSize, const char* source);

template <std::size_t N>
void copyField(char (&field)[N], const char* source) {
    copyField(field, N, source);
}

} // namespace zeta::indigo
