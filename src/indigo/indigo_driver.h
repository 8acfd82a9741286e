#ifndef ZETA_INDIGO_DRIVER_H
#define ZETA_INDIGO_DRIVER_H
/*
 * Where devices come from: in-process drivers (added by entry point or loaded from a
 * shared library), remote servers and driver subprocesses. This library keeps the tables;
 * the wire layers fill the server and subprocess tables.
 *
 * A driver's entry point is called on the thread that adds, loads or removes it, with no
 * bus lock held. It must not wait for another thread that adds, loads or removes drivers.
 */

#include "indigo/indigo_bus.h"

#include <pthread.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define INDIGO_MAX_DRIVERS 100
#define INDIGO_MAX_SERVERS 10
#define INDIGO_MAX_SUBPROCESSES 10
/* Width of a file path field, terminator included. */
#define INDIGO_PATH_SIZE 4096

typedef enum { INDIGO_DRIVER_INIT = 0, INDIGO_DRIVER_INFO = 1, INDIGO_DRIVER_SHUTDOWN = 2 } indigo_driver_action;

typedef struct {
    char description[INDIGO_NAME_SIZE];
    char name[INDIGO_NAME_SIZE];
    uint16_t version;
    indigo_driver_action status;
} indigo_driver_info;

typedef indigo_result (*driver_entry_point)(indigo_driver_action action, indigo_driver_info* info);

typedef struct {
    char description[INDIGO_NAME_SIZE];
    char name[INDIGO_NAME_SIZE];
    driver_entry_point driver; /* set while the slot is in use */
    void* dl_handle;           /* the library of a loaded driver, NULL for an added one */
    bool initialized;          /* INDIGO_DRIVER_INIT ran and succeeded */
} indigo_driver_entry;

typedef struct {
    char name[INDIGO_NAME_SIZE];
    char host[INDIGO_NAME_SIZE];
    int port;
    pthread_t thread;
    bool thread_started;
    int socket;
    indigo_device* protocol_adapter;
} indigo_server_entry;

typedef struct {
    char executable[INDIGO_PATH_SIZE];
    pthread_t thread;
    bool thread_started;
    pid_t pid;
    indigo_device* protocol_adapter;
} indigo_subprocess_entry;

/* Slots in use have their driver set; the others are zero. */
extern indigo_driver_entry indigo_available_drivers[INDIGO_MAX_DRIVERS];
/* Filled by the wire layers; a slot in use has thread_started set. */
extern indigo_server_entry indigo_available_servers[INDIGO_MAX_SERVERS];
extern indigo_subprocess_entry indigo_available_subprocesses[INDIGO_MAX_SUBPROCESSES];

/* Puts a driver entry point into the first free slot: asks it for its name and
 * description (INDIGO_DRIVER_INFO), then, when init is true, initialises it
 * (INDIGO_DRIVER_INIT); a driver whose initialisation fails leaves no slot. Adding an
 * entry point that already has a slot changes nothing and succeeds. driver_entry, when not
 * NULL, receives the slot. */
indigo_result indigo_add_driver(driver_entry_point driver, bool init, indigo_driver_entry** driver_entry);

/* Loads a driver from a shared library and adds it as above. name is a path (it contains
 * a "/") or a bare name found by the dynamic loader; ".so" is appended when name does not
 * end in it. The entry point is the function named after the file: its base name up to the
 * first ".". Loading a library whose entry point already has a slot changes nothing. */
indigo_result indigo_load_driver(const char* name, bool init, indigo_driver_entry** driver_entry);

/* Shuts an initialised driver down (INDIGO_DRIVER_SHUTDOWN, which detaches its devices),
 * then, for a loaded one, cancels pending timers whose callback lies in its library, waits
 * for queued indigo_async work and running timer callbacks, and unloads the library; the
 * slot is cleared. Fails for an entry that is not an occupied slot. */
indigo_result indigo_remove_driver(indigo_driver_entry* driver_entry);

/* USB hot-plug is watched by the camera layer; kept for callers that start it with the bus. */
void indigo_start_usb_event_handler(void);

#ifdef __cplusplus
}
#endif

#endif
