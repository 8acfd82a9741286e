#pragma once
// Reading the bus record's enum and boolean fields as plain numbers: the bus may hold any
// value there, which must not be loaded as an enum or bool that cannot represent it.

#include <cstring>
#include <type_traits>

template <class Field>
int readCode(const Field& field) {
    static_assert(sizeof(Field) <= sizeof(long long));
    std::make_signed_t<std::underlying_type_t<Field>> value{};
    static_assert(sizeof value == sizeof field);
    std::memcpy(&value, &field, sizeof value);
    return static_cast<int>(value);
}

inline bool readFlag(const bool& field) {
    unsigned char value = 0;
    std::memcpy(&value, &field, 1);
    return value != 0;
}
