/*
 * The supervisor's status as it writes it, "/var/orvanta/status", and
 * whether the supervisor that wrote it still runs: it holds an exclusive
 * flock on its lock file for its whole life, and a status or pid file whose
 * pid does not hold that lock is left from a supervisor that has ended.
 */
#ifndef ORVANTA_STATUS_H
#define ORVANTA_STATUS_H

#include <stddef.h>

#define STATUS_PATH "/var/orvanta/status"
#define STATUS_LOCK_PATH "/var/orvanta/module-supervisor.lock"
#define STATUS_PID_PATH "/var/orvanta/module-supervisor.pid"

enum status_state { STATE_STARTING, STATE_RUNNING, STATE_PAUSING };
enum status_end { END_NONE, END_EXIT, END_SIGNAL };

struct supervisor_status {
    long pid;                /* the supervisor */
    status_state state;      /* what it does */
    long agent;              /* 0 while none runs */
    unsigned long since;     /* when the state began, seconds since boot */
    unsigned long starts;    /* agent starts */
    status_end last;         /* how the last agent run ended */
    unsigned long last_code; /* its exit status or signal */
};

/* Reads the status text, lines "key=value" ending in LF: pid, state
 * (starting, running or pausing), agent, since, starts (decimal numbers)
 * and last (none, "exit N" or "signal N"), each once, in any order; other
 * keys are skipped. Gives 1 and fills *status when all six are there and
 * well-formed, 0 otherwise. */
int status_parse(const char *text, size_t length, supervisor_status *status);

/* 1 when line, a line of /proc/locks, is an exclusive flock that process
 * pid holds (not one it waits for) on the file major:minor:inode. */
int status_lock_line(const char *line, long pid, unsigned major, unsigned minor, unsigned long inode);

enum status_found {
    STATUS_STOPPED,      /* no supervisor runs */
    STATUS_RUNNING,      /* it runs, and *status is what it wrote */
    STATUS_RUNNING_BARE, /* it runs (by its pid file) but left no readable status */
};

/* What the supervisor is doing now, from its files and the kernel's locks. */
status_found status_read(supervisor_status *status);

/* Seconds since boot, as /proc/uptime counts them; 0 when unreadable. */
unsigned long status_uptime(void);

#endif
