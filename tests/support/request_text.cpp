#include "support/request_text.h"

#include <cstdio>

namespace test_support {

std::string requestValue(const indigo_property* request, const indigo_item& item) {
    switch (request->type) {
    case INDIGO_TEXT_VECTOR:
        return item.text.value;
    case INDIGO_NUMBER_VECTOR: {
        char text[64];
        std::snprintf(text, sizeof text, "%g", item.number.value);
        return text;
    }
    case INDIGO_SWITCH_VECTOR:
        return item.sw.value ? "On" : "Off";
    default:
        return "?";
    }
}

std::string describeRequest(const indigo_property* request) {
    std::string line = request->name;
    for (int i = 0; i < request->count; ++i)
        line += std::string(" ") + request->items[i].name + "=" + requestValue(request, request->items[i]);
    return line;
}

} // namespace test_support
