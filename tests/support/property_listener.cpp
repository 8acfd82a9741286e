#include "support/property_listener.h"

#include "indigo/indigo_property.h"

namespace test_support {

PropertyListener::PropertyListener(const char* name) {
    indigo_copy_name(client.name, name);
    client.version = INDIGO_VERSION_CURRENT;
    client.client_context = this;
    client.define_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char* m) {
        return owner<PropertyListener>(c)->record("define", p, m);
    };
    client.update_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char* m) {
        return owner<PropertyListener>(c)->record("update", p, m);
    };
    client.delete_property = [](indigo_client* c, indigo_device*, indigo_property* p, const char* m) {
        return owner<PropertyListener>(c)->record("delete", p, m);
    };
}

} // namespace test_support
