#include "log_tail.h"

#include "spawn.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

/* logread prints a buffer of at most some hundred KiB and ends. */
static const int LOGREAD_TIMEOUT_MS = 3000;

int log_line_is_module(const char *line, size_t length)
{
    size_t colon = 0;
    while (colon + 1 < length && !(line[colon] == ':' && line[colon + 1] == ' '))
        ++colon;
    if (colon + 1 >= length)
        return 0;
    size_t start = colon;
    while (start > 0 && line[start - 1] != ' ')
        --start;
    size_t end = colon;
    if (end > start && line[end - 1] == ']') {
        size_t open = end - 1;
        while (open > start && line[open - 1] >= '0' && line[open - 1] <= '9')
            --open;
        if (open > start && open < end - 1 && line[open - 1] == '[')
            end = open - 1;
    }
    size_t word = end - start;
    return (word == 7 &&
            (memcmp(line + start, "orvanta", 7) == 0 || memcmp(line + start, "tessard", 7) == 0));
}

void log_tail_init(log_tail *tail)
{
    tail->kept = 0;
    tail->first = 0;
    tail->partial_length = 0;
}

static void keep_line(log_tail *tail)
{
    const char *line = tail->partial;
    size_t length = tail->partial_length;
    tail->partial_length = 0;
    if (length > 0 && line[length - 1] == '\r')
        --length;
    if (!log_line_is_module(line, length))
        return;
    size_t slot = (tail->first + tail->kept) % LOG_TAIL_LINES;
    if (tail->kept == LOG_TAIL_LINES)
        tail->first = (tail->first + 1) % LOG_TAIL_LINES;
    else
        ++tail->kept;
    memcpy(tail->lines[slot], line, length);
    tail->lengths[slot] = length;
}

void log_tail_feed(log_tail *tail, const char *data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (data[i] == '\n')
            keep_line(tail);
        else if (tail->partial_length < LOG_TAIL_WIDTH)
            tail->partial[tail->partial_length++] = data[i];
    }
}

void log_tail_end(log_tail *tail)
{
    if (tail->partial_length > 0)
        keep_line(tail);
}

const char *log_tail_line(const log_tail *tail, size_t i, size_t *length)
{
    size_t slot = (tail->first + i) % LOG_TAIL_LINES;
    *length = tail->lengths[slot];
    return tail->lines[slot];
}

static long long now_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

/* Reads the pipe until its end or the deadline; 1 when it ended in time. */
static int read_until_end(log_tail *tail, int fd)
{
    long long deadline = now_ms() + LOGREAD_TIMEOUT_MS;
    char buffer[4096];
    for (;;) {
        long long left = deadline - now_ms();
        if (left <= 0)
            return 0;
        struct pollfd ready = {fd, POLLIN, 0};
        int n = poll(&ready, 1, (int)left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        log_tail_feed(tail, buffer, (size_t)got);
    }
}

log_source log_tail_read(log_tail *tail, const char *const programs[], const char **used)
{
    log_tail_init(tail);
    const char *program = NULL;
    for (size_t i = 0; programs[i] && !program; ++i)
        if (access(programs[i], X_OK) == 0)
            program = programs[i];
    *used = program;
    if (!program)
        return LOG_NO_LOGREAD;
    const char *const argv[] = {program, NULL};
    int fd;
    pid_t pid = spawn_reader(argv, &fd);
    if (pid < 0)
        return LOG_READ_FAILED;
    int ended = read_until_end(tail, fd);
    close(fd);
    if (!ended)
        kill(pid, SIGKILL);
    int status = -1;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    log_tail_end(tail);
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? LOG_READ : LOG_READ_FAILED;
}
