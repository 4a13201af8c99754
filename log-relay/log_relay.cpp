/*
 * orvanta-log: passes the agent's log on to syslog (identity "tessard",
 * facility daemon), one message per line; the line rules are log_line's,
 * the sending log_sender's.
 *
 *   orvanta-log PROGRAM [ARG]...  runs PROGRAM with its standard output and
 *                                 error on a pipe whose lines it relays
 *   orvanta-log                   relays the lines of its standard input
 *
 * The relay reads for as long as anyone holds the pipe's writing end and
 * ends by itself when the last writer is gone. It never makes a writer
 * wait: it reads whatever arrives and drops lines that syslog does not
 * take in time (log_sender counts and reports them).
 *
 * With PROGRAM, the process that the caller started becomes PROGRAM, so the
 * caller's pid file and signals reach it, in a session of its own. The
 * relay is its grandchild, not a child that PROGRAM would have to reap, in
 * the same session but in a process group of its own: whoever kills
 * PROGRAM's group (and with it all that writes to the pipe) leaves the
 * relay to pass on their last lines and end.
 *
 * Built as C-style C++ that needs nothing but libc at run time.
 */
#include "log_line.h"
#include "log_sender.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define IDENT "tessard"
/* How long the relay tries to hand what it holds to syslog at the end. */
#define FINISH_MS 1000

/* Static rather than on the stack: what syslog has not taken yet waits
 * here, up to 16 KiB. */
static char queue[16384];
static struct log_sender sender;
static struct log_line line;

static long long monotonic_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

static void on_message(void *context, int severity, const char *text, size_t length)
{
    log_sender_add((struct log_sender *)context, severity, text, length);
}

/* Without the relay the agent dies of SIGPIPE at its next line, again after
 * every restart, until the module is started anew: keep the OOM killer
 * away from this small process of flat size. Only root may ask for it;
 * anyone else goes on unprotected. */
static void shield_from_oom(void)
{
    int fd = open("/proc/self/oom_score_adj", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ssize_t ignored = write(fd, "-1000", 5);
    (void)ignored;
    close(fd);
}

/* The relay outlives terminal hang-ups and stop signals: it ends when its
 * writers do, after their last lines. It holds nothing but the pipe on
 * standard input: no descriptor of its caller (a pipe the caller waits on,
 * a lock) stays open because of it. */
static void detach(void)
{
    static const int IGNORED[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};
    for (int signo : IGNORED)
        signal(signo, SIG_IGN);
    shield_from_oom();
    int ignored = chdir("/");
    (void)ignored;
    int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd >= 0) {
        dup2(null_fd, STDOUT_FILENO);
        dup2(null_fd, STDERR_FILENO);
    }
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3U, ~0U, 0U) == 0)
        return;
#endif
    long max = sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < (max > 0 ? max : 1024); ++fd)
        close((int)fd);
}

static void finish(void)
{
    log_line_end(&line);
    long long deadline = monotonic_ms() + FINISH_MS;
    for (;;) {
        long long now = monotonic_ms();
        log_sender_flush(&sender, now);
        if (log_sender_idle(&sender) || now >= deadline)
            break;
        struct pollfd entry;
        int timeout = log_sender_poll(&sender, now, &entry);
        if (timeout < 0 || timeout > deadline - now)
            timeout = (int)(deadline - now);
        poll(&entry, 1, timeout);
    }
    log_sender_close(&sender);
}

static int relay(void)
{
    detach();
    log_sender_init(&sender, IDENT, queue, sizeof queue);
    log_line_init(&line, on_message, &sender);
    static char chunk[4096];
    for (;;) {
        struct pollfd entries[2] = {{STDIN_FILENO, POLLIN, 0}, {-1, 0, 0}};
        int timeout = log_sender_poll(&sender, monotonic_ms(), &entries[1]);
        poll(entries, 2, timeout);
        if (entries[0].revents) {
            ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
            if (n > 0)
                log_line_feed(&line, chunk, (size_t)n);
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                break;
        }
        log_sender_flush(&sender, monotonic_ms());
    }
    finish();
    return 0;
}

/* Starts the relay on the pipe's reading end as a grandchild; true once it
 * runs. */
static int start_relay(const int pipe_fds[2])
{
    pid_t child = fork();
    if (child == 0) {
        pid_t relay_pid = fork();
        if (relay_pid == 0) {
            setpgid(0, 0);
            dup2(pipe_fds[0], STDIN_FILENO);
            _exit(relay());
        }
        _exit(relay_pid > 0 ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/* Becomes argv[0] with its output going to the relay; without a relay (no
 * pipe, no process), with the output it was given. */
static int run_program(char *argv[])
{
    setsid();
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) == 0) {
        if (start_relay(pipe_fds)) {
            dup2(pipe_fds[1], STDOUT_FILENO);
            dup2(pipe_fds[1], STDERR_FILENO);
        }
        close(pipe_fds[0]);
        close(pipe_fds[1]);
    }
    execvp(argv[0], argv);
    fprintf(stderr, "orvanta-log: cannot run %s: %s\n", argv[0], strerror(errno));
    return 127;
}

int main(int argc, char *argv[])
{
    if (argc > 1)
        return run_program(argv + 1);
    return relay();
}
