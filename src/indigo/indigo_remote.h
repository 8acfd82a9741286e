#ifndef ZETA_INDIGO_REMOTE_H
#define ZETA_INDIGO_REMOTE_H
/*
 * Devices that live elsewhere: on a remote INDIGO or INDI server, or in an INDI driver
 * executable run as a subprocess. Their devices appear on the bus as devices of their own
 * (is_remote set), under the bus's property names (INDI names are mapped), and take change
 * requests like any other. The entries fill indigo_available_servers and
 * indigo_available_subprocesses (indigo_driver.h); an entry stays in use, thread_started
 * set, until it is disconnected or killed, even when the peer has gone away meanwhile.
 *
 * A peer that sends what cannot be parsed, or breaks off mid-message, is dropped with a log
 * line: its devices are deleted from the bus and the entry waits to be disconnected (or
 * killed); reconnecting is the caller's choice.
 *
 * Events of an entry's devices reach clients on the entry's reader thread, which
 * indigo_disconnect_server and indigo_kill_subprocess wait for. So they refuse
 * (INDIGO_FAILED) when called on that thread (from a client's callback for such an event),
 * and must not be called from a thread that such a callback itself waits for.
 */

#include "indigo/indigo_driver.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Connects to host:port (waiting at most a few seconds), asks for every property and
 * mirrors the remote devices onto the bus. It speaks protocol 1.7, which INDI and INDIGO
 * servers both answer (see indigo_wire_codes.h for how the two are told apart). name (may be NULL: "host:port") names the
 * entry. On failure nothing is left behind: no entry, a logged error, INDIGO_FAILED.
 * server_entry, when not NULL, receives the entry. */
indigo_result indigo_connect_server(const char* name, const char* host, int port, indigo_server_entry** server_entry);

/* Closes the connection, deletes the mirrored devices from the bus and frees the entry.
 * INDIGO_FAILED, harmlessly, for an entry that is not in use (already disconnected). */
indigo_result indigo_disconnect_server(indigo_server_entry* server_entry);

/* Runs an INDI driver executable (a path, or a name looked up in PATH), speaking the
 * protocol on its stdin and stdout. On failure nothing is left behind and INDIGO_FAILED is
 * returned. subprocess_entry, when not NULL, receives the entry. */
indigo_result indigo_start_subprocess(const char* executable, indigo_subprocess_entry** subprocess_entry);

/* Ends the driver (its stdin is closed; it is terminated, then killed, when it does not
 * leave), reaps it, deletes its devices from the bus and frees the entry. INDIGO_FAILED for
 * an entry that is not in use. */
indigo_result indigo_kill_subprocess(indigo_subprocess_entry* subprocess_entry);

#ifdef __cplusplus
}
#endif

#endif
