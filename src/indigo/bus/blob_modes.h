#pragma once
// The BLOB modes each client asked for, kept in the client's own record list under one lock.

#include "indigo/indigo_bus.h"

namespace zeta::indigo {

void setBlobMode(indigo_client* client, const char* device, const char* name, indigo_enable_blob_mode mode);
indigo_enable_blob_mode blobMode(const indigo_client* client, const char* device, const char* name);
void forgetBlobModes(indigo_client* client);

} // namespace zeta::indigo
