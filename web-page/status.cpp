#include "status.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

/* A status file holds six short lines; anything much longer is not one. */
static const size_t STATUS_MAX = 512;

/* A decimal number of at most 10 digits (pids, seconds, counts), digits
 * alone, the whole text. */
static int parse_number(const char *text, size_t length, unsigned long *number)
{
    if (length == 0 || length > 10)
        return 0;
    unsigned long long value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (unsigned)(text[i] - '0');
    }
    if (value > 0xffffffffULL)
        return 0;
    *number = (unsigned long)value;
    return 1;
}

static int equals(const char *text, size_t length, const char *word)
{
    return strlen(word) == length && memcmp(text, word, length) == 0;
}

static int starts_with(const char *text, size_t length, const char *word)
{
    size_t n = strlen(word);
    return length > n && memcmp(text, word, n) == 0;
}

static int parse_state(const char *text, size_t length, supervisor_status *status)
{
    static const char *const NAMES[] = {"starting", "running", "pausing"};
    for (size_t i = 0; i < sizeof NAMES / sizeof NAMES[0]; ++i)
        if (equals(text, length, NAMES[i])) {
            status->state = (status_state)i;
            return 1;
        }
    return 0;
}

static int parse_end(const char *text, size_t length, supervisor_status *status)
{
    if (equals(text, length, "none")) {
        status->last = END_NONE;
        status->last_code = 0;
        return 1;
    }
    if (starts_with(text, length, "exit ")) {
        status->last = END_EXIT;
        return parse_number(text + 5, length - 5, &status->last_code);
    }
    if (starts_with(text, length, "signal ")) {
        status->last = END_SIGNAL;
        return parse_number(text + 7, length - 7, &status->last_code);
    }
    return 0;
}

/* Parses one "key=value" line into *status; gives the bit of the key it
 * set, 0 for another key, -1 for a malformed line. */
static int parse_line(const char *line, size_t length, supervisor_status *status)
{
    const char *equals_sign = (const char *)memchr(line, '=', length);
    if (!equals_sign)
        return -1;
    size_t key_length = (size_t)(equals_sign - line);
    const char *value = equals_sign + 1;
    size_t value_length = length - key_length - 1;
    unsigned long number;
    static const char *const NUMBERS[] = {"pid", "agent", "since", "starts"};
    for (size_t i = 0; i < sizeof NUMBERS / sizeof NUMBERS[0]; ++i) {
        if (!equals(line, key_length, NUMBERS[i]))
            continue;
        if (!parse_number(value, value_length, &number))
            return -1;
        if (i == 0)
            status->pid = (long)number;
        else if (i == 1)
            status->agent = (long)number;
        else if (i == 2)
            status->since = number;
        else
            status->starts = number;
        return 1 << i;
    }
    if (equals(line, key_length, "state"))
        return parse_state(value, value_length, status) ? 1 << 4 : -1;
    if (equals(line, key_length, "last"))
        return parse_end(value, value_length, status) ? 1 << 5 : -1;
    return 0;
}

int status_parse(const char *text, size_t length, supervisor_status *status)
{
    supervisor_status parsed;
    memset(&parsed, 0, sizeof parsed);
    int seen = 0;
    while (length > 0) {
        const char *end = (const char *)memchr(text, '\n', length);
        if (!end)
            return 0; /* torn: every line ends in LF */
        size_t line_length = (size_t)(end - text);
        int bit = parse_line(text, line_length, &parsed);
        if (bit < 0 || (seen & bit))
            return 0;
        seen |= bit;
        text = end + 1;
        length -= line_length + 1;
    }
    if (seen != 0x3f || parsed.pid == 0)
        return 0;
    *status = parsed;
    return 1;
}

int status_lock_line(const char *line, long pid, unsigned major, unsigned minor, unsigned long inode)
{
    char type[16], kind[16], mode[16];
    long holder;
    unsigned line_major, line_minor;
    unsigned long line_inode;
    /* "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a process that waits
     * for the lock is listed as "1: -> FLOCK ...". */
    if (sscanf(line, "%*u: %15s %15s %15s %ld %x:%x:%lu", type, kind, mode, &holder, &line_major, &line_minor,
               &line_inode) != 7)
        return 0;
    return strcmp(type, "FLOCK") == 0 && strcmp(mode, "WRITE") == 0 && holder == pid && line_major == major &&
           line_minor == minor && line_inode == inode;
}

/* Whether process pid holds the supervisor's lock now. */
static int holds_lock(long pid)
{
    struct stat lock;
    if (pid <= 0 || stat(STATUS_LOCK_PATH, &lock) != 0)
        return 0;
    FILE *locks = fopen("/proc/locks", "re");
    if (!locks)
        return 0;
    char line[256];
    int held = 0;
    while (!held && fgets(line, sizeof line, locks))
        held =
            status_lock_line(line, pid, major(lock.st_dev), minor(lock.st_dev), (unsigned long)lock.st_ino);
    fclose(locks);
    return held;
}

/* Reads at most size - 1 bytes of path into buffer, NUL-terminated; gives
 * the length, or -1 when it cannot be read or is longer. A link is not
 * followed: these files are written by root alone. */
static long read_small(const char *path, char *buffer, size_t size)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return -1;
    size_t length = 0;
    ssize_t got;
    while (length < size && (got = read(fd, buffer + length, size - length)) > 0)
        length += (size_t)got;
    close(fd);
    if (length >= size)
        return -1;
    buffer[length] = '\0';
    return (long)length;
}

status_found status_read(supervisor_status *status)
{
    char text[STATUS_MAX + 1];
    long length = read_small(STATUS_PATH, text, sizeof text);
    if (length >= 0 && status_parse(text, (size_t)length, status) && holds_lock(status->pid))
        return STATUS_RUNNING;
    /* No status of a running supervisor (one that starts has not written
     * it yet): its pid file tells whether one runs. */
    length = read_small(STATUS_PID_PATH, text, sizeof text);
    unsigned long pid;
    if (length > 1 && text[length - 1] == '\n' && parse_number(text, (size_t)length - 1, &pid) &&
        holds_lock((long)pid)) {
        memset(status, 0, sizeof *status);
        status->pid = (long)pid;
        return STATUS_RUNNING_BARE;
    }
    return STATUS_STOPPED;
}

unsigned long status_uptime(void)
{
    char text[64];
    if (read_small("/proc/uptime", text, sizeof text) <= 0)
        return 0;
    return strtoul(text, NULL, 10);
}
