#ifndef ZETA_INDIGO_PROPERTY_H
#define ZETA_INDIGO_PROPERTY_H
/*
 * Making, sizing and comparing property records.
 *
 * Records come only from the indigo_init_*_property calls: they carry a hidden reference
 * count (see "Property record lifetime" in indigo_bus.h). Every text copied into a record
 * is cut to fit its field (127 or 511 bytes plus the terminator) at a UTF-8 character
 * boundary.
 */

#include "indigo/indigo_bus.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Each makes a record of count items (items zero-filled: initialise them with the
 * indigo_init_*_item calls) and returns it holding one reference for the caller.
 * property NULL makes a new record. A record given is reused when it has room for count
 * items; otherwise a new one is made and the given one released. Returns NULL when count
 * is negative. */
indigo_property* indigo_init_text_property(indigo_property* property, const char* device, const char* name,
                                           const char* group, const char* label, indigo_property_state state,
                                           indigo_property_perm perm, int count);
indigo_property* indigo_init_number_property(indigo_property* property, const char* device, const char* name,
                                             const char* group, const char* label, indigo_property_state state,
                                             indigo_property_perm perm, int count);
indigo_property* indigo_init_switch_property(indigo_property* property, const char* device, const char* name,
                                             const char* group, const char* label, indigo_property_state state,
                                             indigo_property_perm perm, indigo_rule rule, int count);
/* Lights and BLOBs are read-only. */
indigo_property* indigo_init_light_property(indigo_property* property, const char* device, const char* name,
                                            const char* group, const char* label, indigo_property_state state,
                                            int count);
indigo_property* indigo_init_blob_property(indigo_property* property, const char* device, const char* name,
                                           const char* group, const char* label, indigo_property_state state,
                                           int count);

/* Item set-up: the item is cleared, then named and given its value. value is plain text. */
void indigo_init_text_item(indigo_item* item, const char* name, const char* label, const char* value);
/* The display format is "%g". target starts equal to value. */
void indigo_init_number_item(indigo_item* item, const char* name, const char* label, double min, double max,
                             double step, double value);
void indigo_init_switch_item(indigo_item* item, const char* name, const char* label, bool value);
void indigo_init_light_item(indigo_item* item, const char* name, const char* label, indigo_property_state value);
void indigo_init_blob_item(indigo_item* item, const char* name, const char* label);

/* Changes the number of items, keeping the first ones and their values; new items are
 * zero-filled. The record may move: use the returned pointer from then on (the old
 * pointer stays valid memory for whoever else holds a reference to it). A negative count
 * changes nothing. */
indigo_property* indigo_resize_property(indigo_property* property, int count);

/* Takes one more reference to the record (see indigo_bus.h). */
void indigo_retain_property(indigo_property* property);
/* Gives one reference up; the last one frees the record. NULL is ignored. */
void indigo_release_property(indigo_property* property);

/* True when other is NULL, or when other's device (empty: any) and name (empty: any) are
 * property's and other's type is 0 or property's type. */
bool indigo_property_match(const indigo_property* property, const indigo_property* other);

/* Copies into property the values of other's items, matched by name (items property lacks
 * are skipped), when both are of the same type; with_state copies the state too. Switches
 * follow property's rule: an item turned on turns the others off for one-of-many and
 * at-most-one. A BLOB item takes other's pointer, which is only as good as other's. */
void indigo_property_copy_values(indigo_property* property, const indigo_property* other, bool with_state);

/* Sets one switch item of the property, first turning the others off when the value is
 * true and the rule is one-of-many or at-most-one. An item not of the property is ignored. */
void indigo_set_switch(indigo_property* property, indigo_item* item, bool value);

/* The property's first item of that name, or NULL. */
indigo_item* indigo_get_item(indigo_property* property, const char* name);

/* Copy a text into a name field (INDIGO_NAME_SIZE) or a value field (INDIGO_VALUE_SIZE),
 * cut at a UTF-8 character boundary, always terminated. NULL copies the empty text.
 * Return target. */
char* indigo_copy_name(char* target, const char* source);
char* indigo_copy_value(char* target, const char* source);

#ifdef __cplusplus
}
#endif

#endif
