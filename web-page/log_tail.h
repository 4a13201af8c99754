/*
 * The module's recent log: its last lines in the system log, as logread
 * prints them ("Dec  8 15:45:43 router daemon.notice orvanta[6841]:
 * started"), those of the identities "orvanta" (the supervisor) and
 * "tessard" (the agent, through the log relay).
 */
#ifndef ORVANTA_LOG_TAIL_H
#define ORVANTA_LOG_TAIL_H

#include <stddef.h>

#define LOG_TAIL_LINES 20
/* Longer lines are cut: the log relay sends at most 480 bytes a message. */
#define LOG_TAIL_WIDTH 600

struct log_tail {
    char lines[LOG_TAIL_LINES][LOG_TAIL_WIDTH];
    size_t lengths[LOG_TAIL_LINES];
    size_t kept;  /* module lines kept, at most LOG_TAIL_LINES */
    size_t first; /* the oldest of them */
    char partial[LOG_TAIL_WIDTH];
    size_t partial_length;
};

/* 1 when the log line (without its line end) is the module's: the word
 * before the line's first ": ", less a "[pid]", is orvanta or tessard. */
int log_line_is_module(const char *line, size_t length);

void log_tail_init(log_tail *tail);
/* Takes the next bytes of logread's output; the module's lines keep the
 * last LOG_TAIL_LINES of them. */
void log_tail_feed(log_tail *tail, const char *data, size_t length);
/* Takes a last line that had no line end. */
void log_tail_end(log_tail *tail);
/* The i-th line kept, oldest first. */
const char *log_tail_line(const log_tail *tail, size_t i, size_t *length);

enum log_source {
    LOG_READ,        /* logread ran: *tail holds what it showed */
    LOG_NO_LOGREAD,  /* none of the known places has it */
    LOG_READ_FAILED, /* it failed or took too long (no in-memory log?) */
};

/* Runs the first of these logread programs that exists (busybox's, or the
 * router's own) and keeps the module's last lines in *tail. */
log_source log_tail_read(log_tail *tail, const char *const programs[], const char **used);

#endif
