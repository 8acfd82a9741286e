#ifndef ZETA_INDIGO_CCD_DRIVER_H
#define ZETA_INDIGO_CCD_DRIVER_H
/*
 * The CCD device base. A camera driver's device callbacks call these first (attach,
 * enumerate, detach) or last (change: whatever the driver does not handle itself).
 *
 * Properties made at attach (group "Camera" unless said; all Idle unless said):
 *   CONNECTION  switch one-of-many rw, Ok: CONNECTED off, DISCONNECTED on   (group "Main")
 *   INFO        text ro: DEVICE_NAME, DEVICE_VERSION, DEVICE_INTERFACE "2",
 *               FRAMEWORK_NAME, FRAMEWORK_VERSION                             (group "Main")
 *   CONFIG      switch at-most-one rw: LOAD, SAVE, REMOVE                     (group "Main")
 *   CCD_INFO    number ro: WIDTH, HEIGHT, MAX_HORIZONTAL_BIN, MAX_VERTICAL_BIN, PIXEL_SIZE,
 *               PIXEL_WIDTH, PIXEL_HEIGHT, BITS_PER_PIXEL
 *   CCD_MODE    switch one-of-many rw, no items (the driver resizes it)
 *   CCD_BIN     number rw: HORIZONTAL, VERTICAL (1..1)
 *   CCD_FRAME   number rw: LEFT, TOP, WIDTH, HEIGHT, BITS_PER_PIXEL
 *   CCD_EXPOSURE        number rw: EXPOSURE (0..10000 s)
 *   CCD_ABORT_EXPOSURE  switch at-most-one rw: ABORT_EXPOSURE
 *   CCD_STREAMING       number rw, hidden: EXPOSURE (0..10000 s), COUNT (-1 endless .. 100000)
 *   CCD_IMAGE_FORMAT    switch one-of-many rw: FITS (on), RAW, JPEG
 *   CCD_IMAGE           BLOB ro: IMAGE
 * The base owns these records: a driver may change their values, perm and hidden flag,
 * and resize CCD_MODE (storing the returned record back into the context), but does not
 * release them.
 *
 * Change handling (indigo_ccd_change_property), for a request matching:
 *   CONNECTION  while CONNECTION is Busy nothing happens (the driver is connecting).
 *               Otherwise the request's values are copied in; unless CONNECTION is Alert,
 *               the connection completes: the CCD properties that are not hidden are
 *               defined (CONNECTED on) or deleted (CONNECTED off; DISCONNECTED is turned
 *               on), CONNECTION becomes Ok.
 *               CONNECTION is then updated. A driver finishing its own connection sets
 *               CONNECTION Ok and passes CONNECTION itself (client NULL).
 *   CONFIG      acknowledged: the item is turned off again and CONFIG set Ok (no stored
 *               configuration is kept).
 *   while connected:
 *   CCD_MODE, CCD_BIN, CCD_FRAME, CCD_IMAGE_FORMAT (not hidden, not read-only): values
 *               copied in, state Ok, updated.
 *   CCD_ABORT_EXPOSURE  (not hidden, not read-only) values copied in; when ABORT_EXPOSURE is on, CCD_EXPOSURE,
 *               CCD_STREAMING and CCD_IMAGE that are Busy become Alert and are updated;
 *               ABORT_EXPOSURE is turned off, the property set Ok and updated.
 *   CCD_EXPOSURE and CCD_STREAMING are the driver's: the base leaves them alone.
 * Everything else is ignored. The result is INDIGO_OK (INDIGO_FAILED without a context).
 */

#include "indigo/indigo_device_base.h"

#ifdef __cplusplus
extern "C" {
#endif

struct indigo_ccd_image_store;

typedef struct {
    indigo_device_context device_context;
    indigo_property* ccd_info_property;
    indigo_property* ccd_mode_property;
    indigo_property* ccd_bin_property;
    indigo_property* ccd_frame_property;
    indigo_property* ccd_exposure_property;
    indigo_property* ccd_abort_exposure_property;
    indigo_property* ccd_streaming_property;
    indigo_property* ccd_image_format_property;
    indigo_property* ccd_image_property;
    struct indigo_ccd_image_store* image_store; /* kept by the base */
} indigo_ccd_context;

#define CCD_CONTEXT ((indigo_ccd_context*)device->device_context)

#define CCD_INFO_PROPERTY (CCD_CONTEXT->ccd_info_property)
#define CCD_INFO_WIDTH_ITEM (CCD_INFO_PROPERTY->items + 0)
#define CCD_INFO_HEIGHT_ITEM (CCD_INFO_PROPERTY->items + 1)
#define CCD_INFO_MAX_HORIZONTAL_BIN_ITEM (CCD_INFO_PROPERTY->items + 2)
#define CCD_INFO_MAX_VERTICAL_BIN_ITEM (CCD_INFO_PROPERTY->items + 3)
#define CCD_INFO_PIXEL_SIZE_ITEM (CCD_INFO_PROPERTY->items + 4)
#define CCD_INFO_PIXEL_WIDTH_ITEM (CCD_INFO_PROPERTY->items + 5)
#define CCD_INFO_PIXEL_HEIGHT_ITEM (CCD_INFO_PROPERTY->items + 6)
#define CCD_INFO_BITS_PER_PIXEL_ITEM (CCD_INFO_PROPERTY->items + 7)

#define CCD_MODE_PROPERTY (CCD_CONTEXT->ccd_mode_property)

#define CCD_BIN_PROPERTY (CCD_CONTEXT->ccd_bin_property)
#define CCD_BIN_HORIZONTAL_ITEM (CCD_BIN_PROPERTY->items + 0)
#define CCD_BIN_VERTICAL_ITEM (CCD_BIN_PROPERTY->items + 1)

#define CCD_FRAME_PROPERTY (CCD_CONTEXT->ccd_frame_property)
#define CCD_FRAME_LEFT_ITEM (CCD_FRAME_PROPERTY->items + 0)
#define CCD_FRAME_TOP_ITEM (CCD_FRAME_PROPERTY->items + 1)
#define CCD_FRAME_WIDTH_ITEM (CCD_FRAME_PROPERTY->items + 2)
#define CCD_FRAME_HEIGHT_ITEM (CCD_FRAME_PROPERTY->items + 3)
#define CCD_FRAME_BITS_PER_PIXEL_ITEM (CCD_FRAME_PROPERTY->items + 4)

#define CCD_EXPOSURE_PROPERTY (CCD_CONTEXT->ccd_exposure_property)
#define CCD_EXPOSURE_ITEM (CCD_EXPOSURE_PROPERTY->items + 0)

#define CCD_ABORT_EXPOSURE_PROPERTY (CCD_CONTEXT->ccd_abort_exposure_property)
#define CCD_ABORT_EXPOSURE_ITEM (CCD_ABORT_EXPOSURE_PROPERTY->items + 0)

#define CCD_STREAMING_PROPERTY (CCD_CONTEXT->ccd_streaming_property)
#define CCD_STREAMING_EXPOSURE_ITEM (CCD_STREAMING_PROPERTY->items + 0)
#define CCD_STREAMING_COUNT_ITEM (CCD_STREAMING_PROPERTY->items + 1)

#define CCD_IMAGE_FORMAT_PROPERTY (CCD_CONTEXT->ccd_image_format_property)
#define CCD_IMAGE_FORMAT_FITS_ITEM (CCD_IMAGE_FORMAT_PROPERTY->items + 0)
#define CCD_IMAGE_FORMAT_RAW_ITEM (CCD_IMAGE_FORMAT_PROPERTY->items + 1)
#define CCD_IMAGE_FORMAT_JPEG_ITEM (CCD_IMAGE_FORMAT_PROPERTY->items + 2)

#define CCD_IMAGE_PROPERTY (CCD_CONTEXT->ccd_image_property)
#define CCD_IMAGE_ITEM (CCD_IMAGE_PROPERTY->items + 0)

/* Makes the context (device->device_context must be NULL) and the properties above;
 * defines nothing (call indigo_ccd_enumerate_properties for that). version becomes INFO's
 * DEVICE_VERSION. */
indigo_result indigo_ccd_attach(indigo_device* device, unsigned version);

/* Defines CONNECTION, INFO and CONFIG when they match the request and, while connected,
 * the CCD properties that match and are not hidden. */
indigo_result indigo_ccd_enumerate_properties(indigo_device* device, indigo_client* client, indigo_property* property);

/* See "Change handling" above. */
indigo_result indigo_ccd_change_property(indigo_device* device, indigo_client* client, indigo_property* property);

/* Deletes what the base defined, releases its properties and frees the context. */
indigo_result indigo_ccd_detach(indigo_device* device);

/* Publishes an image as CCD_IMAGE: copies blobsize bytes into a buffer of the base, sets
 * IMAGE's format to suffix (".jpeg", ".nef", ...) and its size, sets CCD_IMAGE Ok and
 * updates it. Without bytes, CCD_IMAGE becomes Alert (with a message). A client should
 * copy the bytes during its update callback; a pointer it kept stays valid memory until the
 * device detaches (a later image of the same size or smaller overwrites it; a larger one
 * gets a new buffer and the old one is kept). */
void indigo_process_dslr_image(indigo_device* device, void* data, int blobsize, const char* suffix);

#ifdef __cplusplus
}
#endif

#endif
