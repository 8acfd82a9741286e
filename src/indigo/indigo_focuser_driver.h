#ifndef ZETA_INDIGO_FOCUSER_DRIVER_H
#define ZETA_INDIGO_FOCUSER_DRIVER_H
/*
 * The focuser device base, used like the CCD base (indigo_ccd_driver.h).
 *
 * Properties made at attach, besides CONNECTION, INFO (DEVICE_INTERFACE "8") and CONFIG
 * (group "Focuser", all Idle):
 *   FOCUSER_SPEED         number rw: SPEED (1..100)
 *   FOCUSER_DIRECTION     switch one-of-many rw: MOVE_INWARD (on), MOVE_OUTWARD
 *   FOCUSER_STEPS         number rw: STEPS (0..65535)
 *   FOCUSER_POSITION      number rw: POSITION (-1000000..1000000)
 *   FOCUSER_ABORT_MOTION  switch at-most-one rw: ABORT_MOTION
 *
 * Change handling: CONNECTION and CONFIG as in the CCD base; while connected,
 * FOCUSER_SPEED and FOCUSER_DIRECTION (not hidden, not read-only) take the request's
 * values, become Ok and are updated. Moves (FOCUSER_STEPS, FOCUSER_POSITION,
 * FOCUSER_ABORT_MOTION) are the driver's: the base leaves them alone.
 */

#include "indigo/indigo_device_base.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    indigo_device_context device_context;
    indigo_property* focuser_speed_property;
    indigo_property* focuser_direction_property;
    indigo_property* focuser_steps_property;
    indigo_property* focuser_position_property;
    indigo_property* focuser_abort_motion_property;
} indigo_focuser_context;

#define FOCUSER_CONTEXT ((indigo_focuser_context*)device->device_context)

#define FOCUSER_SPEED_PROPERTY (FOCUSER_CONTEXT->focuser_speed_property)
#define FOCUSER_SPEED_ITEM (FOCUSER_SPEED_PROPERTY->items + 0)

#define FOCUSER_DIRECTION_PROPERTY (FOCUSER_CONTEXT->focuser_direction_property)
#define FOCUSER_DIRECTION_MOVE_INWARD_ITEM (FOCUSER_DIRECTION_PROPERTY->items + 0)
#define FOCUSER_DIRECTION_MOVE_OUTWARD_ITEM (FOCUSER_DIRECTION_PROPERTY->items + 1)

#define FOCUSER_STEPS_PROPERTY (FOCUSER_CONTEXT->focuser_steps_property)
#define FOCUSER_STEPS_ITEM (FOCUSER_STEPS_PROPERTY->items + 0)

#define FOCUSER_POSITION_PROPERTY (FOCUSER_CONTEXT->focuser_position_property)
#define FOCUSER_POSITION_ITEM (FOCUSER_POSITION_PROPERTY->items + 0)

#define FOCUSER_ABORT_MOTION_PROPERTY (FOCUSER_CONTEXT->focuser_abort_motion_property)
#define FOCUSER_ABORT_MOTION_ITEM (FOCUSER_ABORT_MOTION_PROPERTY->items + 0)

indigo_result indigo_focuser_attach(indigo_device* device, unsigned version);
indigo_result indigo_focuser_enumerate_properties(indigo_device* device, indigo_client* client,
                                                  indigo_property* property);
indigo_result indigo_focuser_change_property(indigo_device* device, indigo_client* client, indigo_property* property);
indigo_result indigo_focuser_detach(indigo_device* device);

#ifdef __cplusplus
}
#endif

#endif
