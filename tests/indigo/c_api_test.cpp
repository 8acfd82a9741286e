// The public headers as a C driver sees them.

#include "indigo/indigo_ccd_driver.h"
#include "indigo/indigo_driver.h"
#include "indigo/indigo_focuser_driver.h"
#include "indigo/indigo_property.h"

#include <cstddef>
#include <gtest/gtest.h>

extern "C" size_t c_layout(int which);
extern "C" int c_make_and_read(void);

namespace {

TEST(CApi, RecordLayoutsAreTheSameInCAndCxx) {
    const std::size_t cxx[] = {
        sizeof(indigo_item),
        sizeof(indigo_property),
        offsetof(indigo_property, items),
        offsetof(indigo_item, number.target),
        offsetof(indigo_item, blob.value),
        sizeof(indigo_device),
        sizeof(indigo_client),
        sizeof(indigo_driver_entry),
        sizeof(indigo_server_entry),
        sizeof(indigo_subprocess_entry),
        sizeof(indigo_ccd_context),
        sizeof(indigo_focuser_context),
        offsetof(indigo_property, version),
    };
    for (int i = 0; i < static_cast<int>(std::size(cxx)); ++i)
        EXPECT_EQ(c_layout(i), cxx[i]) << "layout " << i;
    EXPECT_EQ(c_make_and_read(), 1);
}

} // namespace
