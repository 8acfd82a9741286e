#ifndef ZETA_INDIGO_BUS_H
#define ZETA_INDIGO_BUS_H
/*
 * The INDIGO device bus, in process: records, codes and the calls that move properties
 * between devices and clients. Plain C, usable from C and C++.
 *
 * THREADING CONTRACT
 * - Every call may be made from any thread. The bus has no thread of its own for events:
 *   a define, update, delete or message is handed to every attached client synchronously,
 *   on the thread that posted it (a driver thread, a timer callback, an indigo_async
 *   worker, or the thread of a client whose change request the device is handling).
 *   A change request reaches the device synchronously on the thread of the client that
 *   sent it. Enumeration runs the devices' enumerate_properties on the enumerating thread,
 *   indigo_enable_blob their enable_blob on its caller's thread; attach and detach
 *   callbacks run on the thread that attaches or detaches. Timer callbacks and
 *   indigo_async work run on the bus's workers (indigo_timer.h).
 * - Records are written and read without a lock: a client reading an item while its
 *   device writes it may see the value in the middle of the change (never freed memory).
 * - No bus lock is held while a client or device callback runs. A callback may call back
 *   into the bus: define, update, delete, change, enumerate, attach or detach (itself too).
 * - Events posted by one thread reach each client in posting order. Events posted by
 *   different threads at the same time are not ordered, and a client may be called on
 *   several threads at once: clients and devices guard their own state.
 * - indigo_detach_client / indigo_detach_device wait until every call into that record
 *   running on other threads has returned, then run its detach callback; after they return
 *   nothing calls it again and the caller may free it. Called from inside one of the record's own callbacks, they do
 *   not wait for that callback (which is still running on the caller's stack). So do not
 *   detach from a thread that such a call is itself waiting for.
 *
 * PROPERTY RECORD LIFETIME
 * - Property records are made by the indigo_init_*_property calls (indigo_property.h) and
 *   are reference counted. The maker holds one reference and gives it up with
 *   indigo_release_property. While a record is defined on the bus, the bus holds one more,
 *   which it drops after the delete has reached every client.
 * - A client may read a record from its define callback until its delete callback
 *   returns. To read it after that (a model object that outlives the delete), call
 *   indigo_retain_property while it is defined and indigo_release_property when done:
 *   the memory then stays valid, holding its last values, however the device goes on.
 * - A change request record handed to a device's change_property is valid only during
 *   that call; copy what is needed (indigo_property_copy_values).
 *
 * HOOKS FOR THE WIRE LAYERS (server, remote servers, subprocess drivers)
 * - A remote client is an indigo_client with is_remote set, attached like any other. It
 *   receives every define/update/delete/message synchronously and should copy what it
 *   sends (including BLOB bytes: item->blob.value holds item->blob.size bytes for the
 *   duration of the callback) and hand it to its own writer thread.
 *   indigo_get_enable_blob_mode tells it whether to send a BLOB inline or as a URL.
 *   Its getProperties becomes indigo_enumerate_properties(client, request): the defines
 *   that devices make while enumerating go to that client only.
 * - A remote or subprocess device is an indigo_device with is_remote set, one per remote
 *   device name, attached like any other; its change_property forwards the request (by
 *   value, before returning) and its enable_blob forwards the mode. It posts the remote
 *   side's defines, updates and deletes with records of its own through
 *   indigo_define_property and friends.
 * - indigo_change_property carries a request of any type (BLOB uploads included).
 * - The tables indigo_available_servers and indigo_available_subprocesses
 *   (indigo_driver.h) are defined here and filled by those layers.
 */

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Width of name fields (device, property, group, item names, BLOB format), terminator included. */
#define INDIGO_NAME_SIZE 128
/* Width of label and value fields (labels, text values, number formats, BLOB url). */
#define INDIGO_VALUE_SIZE 512

#define INDIGO_VERSION_MAJOR 2
#define INDIGO_VERSION_MINOR 0
#define INDIGO_BUILD 56

typedef enum { INDIGO_OK = 0, INDIGO_FAILED = 1 } indigo_result;

typedef enum {
    INDIGO_VERSION_NONE = 0,
    INDIGO_VERSION_LEGACY = 0x105,
    INDIGO_VERSION_2_0 = 0x200,
    INDIGO_VERSION_CURRENT = 0x200
} indigo_version;

typedef enum {
    INDIGO_IDLE_STATE = 0,
    INDIGO_OK_STATE = 1,
    INDIGO_BUSY_STATE = 2,
    INDIGO_ALERT_STATE = 3
} indigo_property_state;

typedef enum {
    INDIGO_TEXT_VECTOR = 1,
    INDIGO_NUMBER_VECTOR = 2,
    INDIGO_SWITCH_VECTOR = 3,
    INDIGO_LIGHT_VECTOR = 4,
    INDIGO_BLOB_VECTOR = 5
} indigo_property_type;

typedef enum { INDIGO_RO_PERM = 1, INDIGO_RW_PERM = 2, INDIGO_WO_PERM = 3 } indigo_property_perm;

typedef enum { INDIGO_ONE_OF_MANY_RULE = 1, INDIGO_AT_MOST_ONE_RULE = 2, INDIGO_ANY_OF_MANY_RULE = 3 } indigo_rule;

/* BLOB delivery to a client, per property. ALSO (the default) delivers BLOB updates with
 * their bytes, NEVER suppresses updates of the property to that client, URL asks a wire
 * layer to send a URL in place of the bytes (in process it delivers like ALSO). */
typedef enum {
    INDIGO_ENABLE_BLOB_ALSO = 0,
    INDIGO_ENABLE_BLOB_NEVER = 1,
    INDIGO_ENABLE_BLOB_URL = 2
} indigo_enable_blob_mode;

typedef struct indigo_item {
    char name[INDIGO_NAME_SIZE];
    char label[INDIGO_VALUE_SIZE];
    union {
        struct {
            char value[INDIGO_VALUE_SIZE];
        } text;
        struct {
            char format[INDIGO_VALUE_SIZE];
            double min;
            double max;
            double step;
            double value;
            double target;
        } number;
        struct {
            bool value;
        } sw;
        struct {
            indigo_property_state value;
        } light;
        struct {
            char format[INDIGO_NAME_SIZE]; /* file extension with its dot, e.g. ".jpeg" */
            char url[INDIGO_VALUE_SIZE];   /* where to fetch the bytes; empty when they are in value */
            int64_t size;                  /* bytes at value */
            void* value;                   /* the bytes, or NULL */
        } blob;
    };
} indigo_item;

typedef struct indigo_property {
    char device[INDIGO_NAME_SIZE];
    char name[INDIGO_NAME_SIZE];
    char group[INDIGO_NAME_SIZE];
    char label[INDIGO_VALUE_SIZE];
    indigo_property_state state;
    indigo_property_type type;
    indigo_property_perm perm;
    indigo_rule rule;    /* switches only */
    bool hidden;         /* device bases do not define hidden properties */
    int16_t version;     /* INDIGO_VERSION_CURRENT for records made by this library */
    int count;           /* items in use */
    indigo_item items[]; /* count items */
} indigo_property;

/* A request that matches every property of every device (empty device and name, type 0). */
extern indigo_property indigo_all_properties;
#define INDIGO_ALL_PROPERTIES (&indigo_all_properties)

/* Kept by the bus per client: the BLOB mode asked for one property, or for every property
 * of a device (empty name), or for everything (empty device and name). */
typedef struct indigo_enable_blob_mode_record {
    char device[INDIGO_NAME_SIZE];
    char name[INDIGO_NAME_SIZE];
    indigo_enable_blob_mode mode;
    struct indigo_enable_blob_mode_record* next;
} indigo_enable_blob_mode_record;

struct indigo_client;

typedef struct indigo_device {
    char name[INDIGO_NAME_SIZE];
    bool is_remote;
    void* device_context;      /* the device base's state (indigo_driver.h); NULL before attach */
    void* private_data;        /* the driver's own */
    indigo_result last_result; /* result of the last attach */
    indigo_version version;
    /* Each may be NULL. Called by the bus; see the threading contract above. */
    indigo_result (*attach)(struct indigo_device* device);
    indigo_result (*enumerate_properties)(struct indigo_device* device, struct indigo_client* client,
                                          indigo_property* property);
    indigo_result (*change_property)(struct indigo_device* device, struct indigo_client* client,
                                     indigo_property* property);
    indigo_result (*enable_blob)(struct indigo_device* device, struct indigo_client* client, indigo_property* property,
                                 indigo_enable_blob_mode mode);
    indigo_result (*detach)(struct indigo_device* device);
} indigo_device;

typedef struct indigo_client {
    char name[INDIGO_NAME_SIZE];
    bool is_remote;
    void* client_context;
    indigo_result last_result; /* result of the last attach */
    indigo_version version;
    /* Owned by the bus: must be NULL when the client attaches; freed when it detaches. */
    indigo_enable_blob_mode_record* enable_blob_mode_records;
    /* Each may be NULL. message is NULL when the event carries none. */
    indigo_result (*attach)(struct indigo_client* client);
    indigo_result (*define_property)(struct indigo_client* client, indigo_device* device, indigo_property* property,
                                     const char* message);
    indigo_result (*update_property)(struct indigo_client* client, indigo_device* device, indigo_property* property,
                                     const char* message);
    indigo_result (*delete_property)(struct indigo_client* client, indigo_device* device, indigo_property* property,
                                     const char* message);
    indigo_result (*send_message)(struct indigo_client* client, indigo_device* device, const char* message);
    indigo_result (*detach)(struct indigo_client* client);
} indigo_client;

/* Starts the bus. Attaching, timers and indigo_async work before it too; it may be called
 * again after indigo_stop. */
indigo_result indigo_start(void);

/* Stops the bus: pending timers are dropped and running ones awaited, queued indigo_async
 * work is finished, then every device and every client still attached is detached (their
 * detach callbacks run) and the worker threads are joined. Refused (INDIGO_FAILED) when
 * called from a timer callback or indigo_async worker. */
indigo_result indigo_stop(void);

/* --- Device side --- */

/* Attaches the device and then runs its attach callback on the calling thread; the result
 * is stored in device->last_result and returned. The device is reachable (changes and
 * enumeration) from the moment its attach callback starts. Attaching a record that is
 * already attached fails. */
indigo_result indigo_attach_device(indigo_device* device);

/* Runs the device's detach callback (the device is still reachable during it), removes it
 * from the bus, cancels its pending timers, and deletes from every client the properties
 * it still has defined. */
indigo_result indigo_detach_device(indigo_device* device);

/* Announces a property to every client (or, inside enumerate_properties, to the enumerating
 * client). message is plain text or NULL, never a format. Defining a record again while it
 * is defined is delivered again but changes nothing else. */
indigo_result indigo_define_property(indigo_device* device, indigo_property* property, const char* message);

/* Sends the record's current values to every client. Updates of a record that is not
 * defined are not delivered. A BLOB property is not delivered to a client that asked for
 * INDIGO_ENABLE_BLOB_NEVER for it. */
indigo_result indigo_update_property(indigo_device* device, indigo_property* property, const char* message);

/* Withdraws a property from every client. A record whose name is empty (or a NULL record)
 * withdraws every property of the device. The record itself stays with its maker. */
indigo_result indigo_delete_property(indigo_device* device, indigo_property* property, const char* message);

/* Sends a text to every client's send_message. */
indigo_result indigo_send_message(indigo_device* device, const char* message);

/* --- Client side --- */

/* Attaches the client and runs its attach callback on the calling thread. Nothing is
 * enumerated: the client hears of properties defined from now on. */
indigo_result indigo_attach_client(indigo_client* client);

/* Runs the client's detach callback, removes it, and frees its BLOB mode records. */
indigo_result indigo_detach_client(indigo_client* client);

/* Asks every device that matches the request's device name (empty: all devices) to define
 * its properties that match the request's name (empty: all) again, to this client (NULL
 * client: to all). The request's type is ignored; NULL means INDIGO_ALL_PROPERTIES. */
indigo_result indigo_enumerate_properties(indigo_client* client, indigo_property* property);

/* Change requests. The named device's change_property runs synchronously on the calling
 * thread with a request record holding the given items (count 0 is legal). Names and
 * values are copied: the arrays belong to the caller and need to live only for the call.
 * Names longer than 127 bytes and texts longer than 511 bytes are cut at a UTF-8 character
 * boundary. A device name that no attached device has is not an error: nothing happens. */
indigo_result indigo_change_text_property(indigo_client* client, const char* device, const char* name, int count,
                                          const char** items, const char** values);
indigo_result indigo_change_number_property(indigo_client* client, const char* device, const char* name, int count,
                                            const char** items, const double* values);
indigo_result indigo_change_switch_property(indigo_client* client, const char* device, const char* name, int count,
                                            const char** items, const bool* values);

/* Hands a ready request record to the devices whose name equals property->device. The
 * caller keeps the record; it must live for the duration of the call. */
indigo_result indigo_change_property(indigo_client* client, indigo_property* property);

/* Records the attached client's BLOB mode for the property (device and name of the record;
 * an empty name covers the device's every property, an empty device or a NULL record
 * everything) and tells the matching devices through their enable_blob callback. Fails for
 * a client that is not attached. */
indigo_result indigo_enable_blob(indigo_client* client, indigo_property* property, indigo_enable_blob_mode mode);

/* The BLOB mode the client asked for the named property (most specific record first),
 * INDIGO_ENABLE_BLOB_ALSO when it asked nothing. */
indigo_enable_blob_mode indigo_get_enable_blob_mode(const indigo_client* client, const char* device, const char* name);

#ifdef __cplusplus
}
#endif

#endif
