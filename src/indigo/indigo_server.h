#ifndef ZETA_INDIGO_SERVER_H
#define ZETA_INDIGO_SERVER_H
/*
 * The bus's own server: other programs connect over TCP and speak the INDI XML protocol
 * (1.7, or the bus's names when their getProperties says version 2.0). Each connection is
 * a client of the bus (see indigo_bus.h, hooks for the wire layers): it sees every device's
 * properties, sends changes, and gets BLOBs as its enableBLOB asks (Never until it does;
 * Also, Only, or URL: a link into this server in place of the bytes).
 *
 * The same port answers HTTP GET and HEAD for the resources added with
 * indigo_server_add_resource and for BLOBs sent by URL.
 *
 * A connection that sends what cannot be parsed, or breaks off in the middle of a message,
 * or stops reading while half a gigabyte waits for it, is closed with a log line; the
 * server and its other connections go on.
 */

#include "indigo/indigo_bus.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The TCP port: set it before indigo_server_start; 0 takes any free port, and the port
 * bound is written back before the callback first runs. */
extern int indigo_server_tcp_port;

/* The address to listen on, dotted IPv4 ("127.0.0.1"); empty listens on every interface. */
extern char indigo_server_bind_address[INDIGO_NAME_SIZE];

/* Told the number of connected protocol clients: 0 once the server listens, then after
 * every connect and disconnect. Runs on the server's threads. */
typedef void (*indigo_server_tcp_callback)(int client_count);

/* Runs the server on the calling thread: returns when indigo_server_shutdown is called
 * (after every connection is closed and its client detached), or at once, with a logged
 * error and INDIGO_FAILED, when the port cannot be bound or a server already runs. */
indigo_result indigo_server_start(indigo_server_tcp_callback callback);

/* Asks the running server to end and returns without waiting; indigo_server_start then
 * returns on its own thread. Nothing happens when no server runs. */
void indigo_server_shutdown(void);

/* Serves length bytes of data at path ("/ctrl") with that content type. The bytes are
 * copied. A path added again is replaced. */
void indigo_server_add_resource(const char* path, unsigned char* data, unsigned length, const char* content_type);

#ifdef __cplusplus
}
#endif

#endif
