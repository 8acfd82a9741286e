#ifndef ZETA_INDIGO_TIMER_H
#define ZETA_INDIGO_TIMER_H
/*
 * One-shot timers and background work.
 *
 * Timer callbacks and indigo_async functions run on the bus's worker threads (a pool that
 * starts another thread whenever every worker is busy, so work may block). Pending timers
 * of a device are cancelled when the device is detached.
 */

#include "indigo/indigo_bus.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An opaque token naming one timer; never dereferenced, so a stale token is harmless. */
typedef struct indigo_timer indigo_timer;
typedef void (*indigo_timer_callback)(indigo_device* device);

/* Runs callback(device) once, delay seconds from now (negative or NaN: at once), on a
 * worker thread. Returns the timer's token, NULL when callback is NULL or the bus is
 * stopping. With a short delay the callback may run before this returns: a driver that
 * keeps the token where its callback reads it orders that itself. */
indigo_timer* indigo_set_timer(indigo_device* device, double delay, indigo_timer_callback callback);

/* Cancels the timer *timer and sets *timer to NULL. Safe before, during and after firing:
 * returns true when the callback was kept from running; when it is running on another
 * thread, waits for it to return first (from inside the callback itself it does not wait);
 * after it has run, does nothing. */
bool indigo_cancel_timer(indigo_device* device, indigo_timer** timer);

/* Runs fun(data) on a worker thread; its result is ignored. False when fun is NULL. */
bool indigo_async(void* (*fun)(void* data), void* data);

#ifdef __cplusplus
}
#endif

#endif
