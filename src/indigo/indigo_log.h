#ifndef ZETA_INDIGO_LOG_H
#define ZETA_INDIGO_LOG_H
/*
 * The bus's log. Lines are formatted printf-style and emitted when the log level allows:
 * indigo_error always, indigo_log from INDIGO_LOG_INFO, indigo_debug from INDIGO_LOG_DEBUG,
 * indigo_trace_bus from INDIGO_LOG_TRACE_BUS, indigo_trace from INDIGO_LOG_TRACE.
 * Each line goes to indigo_log_message_handler when one is set (on the logging thread, no
 * lock held), otherwise to standard error with the time of day.
 */

#include "indigo/indigo_bus.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    INDIGO_LOG_PLAIN = -1,
    INDIGO_LOG_ERROR = 0,
    INDIGO_LOG_INFO = 1,
    INDIGO_LOG_DEBUG = 2,
    INDIGO_LOG_TRACE_BUS = 3,
    INDIGO_LOG_TRACE = 4
} indigo_log_levels;

/* Receives every emitted line, without decoration. Set it before other threads log. */
extern void (*indigo_log_message_handler)(const char* message);

void indigo_set_log_level(indigo_log_levels level);
indigo_log_levels indigo_get_log_level(void);

void indigo_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void indigo_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void indigo_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
void indigo_trace_bus(const char* format, ...) __attribute__((format(printf, 1, 2)));
void indigo_trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

#ifdef __cplusplus
}
#endif

#endif
