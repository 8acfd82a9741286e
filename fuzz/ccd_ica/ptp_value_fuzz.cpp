// The value codec over arbitrary bytes: the first two bytes pick a datatype, the rest are read
// as a run of values of it. Strings read are written back and must read the same.
#include "ccd_ica/ptp_value.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const uint16_t datatype = static_cast<uint16_t>(data[0] | (data[1] << 8));
    PTPCursor cursor(std::span(data + 2, size - 2));
    for (int i = 0; i < 64 && !cursor.overrun && cursor.remaining() > 0; ++i) {
        const std::size_t before = cursor.consumed();
        const PTPValue value = ptp_read_value(cursor, datatype);
        if (cursor.consumed() > size - 2) std::abort();
        (void)value.description();
        (void)value.intValue();
        if (const std::string* text = value.asText(); text && datatype == PTPDataTypeString) {
            uint8_t buffer[PTPMaxStringBytes];
            PTPWriteCursor writer(buffer);
            const std::size_t written = ptp_write_string(writer, *text);
            if (written) {
                PTPCursor again(std::span<const uint8_t>(buffer, written));
                if (ptp_read_string(again) != *text) std::abort();
            }
        }
        (void)ptp_encode_value(datatype, value);
        if (cursor.consumed() == before) break; // a datatype that reads nothing
    }
    return 0;
}
