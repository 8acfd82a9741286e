#pragma once
// Which INDIGO property stands for which camera property, per camera family: the rows of the
// map, and the two lookups the driver makes through it.

#include <cstdint>
#include <string>

class PTPCamera;

struct dslr_property_map_row {
    int16_t vendor; // the camera's extension(): 0 generic, 10, 11, 17 vendors
    uint16_t code;  // 0 ends the table
    const char* name;
    const char* label;
};

// The rows, ended by a row with code 0.
extern const dslr_property_map_row dslr_property_map[];

// The INDIGO name, label and group of a camera property.
struct DSLRPropertyName {
    std::string name;
    std::string label;
    std::string group;
};

// The family's row ("DSLR"); without one, the code as four hexadecimal digits, labelled with
// the code's name less "PTPPropertyCode", in group "Advanced".
DSLRPropertyName dslrPropertyName(const PTPCamera& camera, uint16_t code);
// The camera code of an INDIGO property: the family's row, else the name read as hexadecimal.
uint16_t dslrPropertyCode(const PTPCamera& camera, const char* name);
