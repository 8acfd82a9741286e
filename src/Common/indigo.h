#pragma once
// The INDIGO client layer: the client with its live model, the delegate interface, the base
// of the window controllers and the decoder of INDIGO raw frames.

#include "Common/base_controller.h"
#include "Common/blob_item.h"
#include "Common/device.h"
#include "Common/driver.h"
#include "Common/indigo_client.h"
#include "Common/indigo_delegate.h"
#include "Common/items.h"
#include "Common/property.h"
#include "Common/raw_image_rep.h"
