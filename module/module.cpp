/*
 * module-supervisor: writes the host agent's configuration from the module
 * settings, starts the agent, restarts it 3 s after it ends and, on SIGINT,
 * SIGTERM or SIGQUIT, kills it and exits. Reports through syslog only.
 *
 * One supervisor runs at a time: it holds an exclusive kernel lock on
 * /var/orvanta/module-supervisor.lock for its whole life (the kernel drops
 * it when the process ends, however it ends, so it is never stale), and
 * under it writes its pid file and its status, /var/orvanta/status, which
 * it replaces whole at each change:
 *
 *   pid=1234        the supervisor
 *   state=running   starting | running (an agent runs) | pausing (before a restart)
 *   agent=1240      the agent's pid, 0 when none runs
 *   since=5231      when the state began, seconds since boot (as /proc/uptime)
 *   starts=3        how many times the agent was started
 *   last=exit 1     how the last run ended: none | exit N | signal N
 *
 * A stop signal removes both files. Built as C-style C++ that needs nothing
 * but libc at run time.
 */
#include "file_replace.h"
#include "log_sender.h"
#include "module_cfg.h"

#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#define AGENT_PATH "/opt/orvanta/bin/tessard"
#define AGENT_CFG_PATH "/var/orvanta/tessard.cfg"
#define LOCK_PATH "/var/orvanta/module-supervisor.lock"
#define PID_PATH "/var/orvanta/module-supervisor.pid"
#define STATUS_PATH "/var/orvanta/status"
#define DEFAULT_SERVER_URL "http://developer.orvanta.com/s"

static const long long RESTART_PAUSE_MS = 3000;

static const char AGENT_CFG_TAIL[] =
    "load = (\r\n"
    "  \"tessard-system-resources.so\",\r\n"
    "  \"tessard-measured-values.so\"\r\n"
    ");\r\n"
    "plugins = (\r\n"
    "  {\r\n    type = \"system_resources\",\r\n    interval = 60\r\n  },\r\n"
    "  {\r\n    type = \"measured_values\",\r\n    interval = 10\r\n  }\r\n"
    ");\r\n";

static const int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGQUIT, SIGCHLD};

/* > 0 exactly while a started agent has not been reaped. */
static pid_t tessard_pid;

static volatile sig_atomic_t stop_requested;

/* Self-pipe: the handler writes a byte, the main loop polls the read end. */
static int wake_pipe[2] = {-1, -1};

/* syslog() would block in send() while /dev/log's queue is full, holding up
 * stop signals and restarts: messages go out without waiting, and what
 * syslog does not take at once waits here. Small, so that a supervisor that
 * syslog keeps up with touches one page of it: a few restarts' worth. */
static char log_queue[1024];
static char log_ident[32];
static struct log_sender sender;

/* What the status file tells; lock_held says whether this supervisor may
 * write it (and the pid file) at all. */
static struct {
    int lock_held;
    const char *state;
    long long since;
    unsigned long starts;
    char last[24];
} status = {0, "starting", 0, 0, "none"};

/* Only records: the main loop does the logging, the SIGKILL and the exit,
 * so that a signal that interrupts stdio cannot corrupt them. */
static void sig_handler(int signo)
{
    int saved_errno = errno;
    if (signo != SIGCHLD)
        stop_requested = 1;
    if (wake_pipe[1] >= 0) {
        char byte = 0;
        ssize_t ignored = write(wake_pipe[1], &byte, 1);
        (void)ignored;
    }
    errno = saved_errno;
}

static void install_handlers(void)
{
    if (pipe2(wake_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
        wake_pipe[0] = wake_pipe[1] = -1;

    /* sigaction rather than signal: its semantics do not depend on the C
     * library's flavour (no one-shot reset), SA_RESTART keeps file writes
     * from failing with EINTR, and SA_NOCLDSTOP keeps a stopped agent from
     * waking the loop. */
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = sig_handler;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    for (int signo : HANDLED_SIGNALS)
        sigaddset(&action.sa_mask, signo);
    for (int signo : HANDLED_SIGNALS)
        sigaction(signo, &action, NULL);
}

static long long clock_ms(clockid_t clock)
{
    struct timespec now;
    if (clock_gettime(clock, &now) != 0)
        clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

static long long monotonic_ms(void)
{
    return clock_ms(CLOCK_MONOTONIC);
}

/* Seconds since boot, suspend included, as /proc/uptime counts them
 * (kernels before 2.6.39 lack CLOCK_BOOTTIME: the monotonic clock then). */
static long long boot_seconds(void)
{
    return clock_ms(CLOCK_BOOTTIME) / 1000;
}

static void open_log(void)
{
    snprintf(log_ident, sizeof log_ident, "orvanta[%ld]", (long)getpid());
    log_sender_init(&sender, log_ident, log_queue, sizeof log_queue);
    sender.reporter = "module-supervisor";
}

static void say(int severity, const char *text)
{
    log_sender_add(&sender, severity, text, strlen(text));
    log_sender_flush(&sender, monotonic_ms());
}

/* Sleeps until a signal arrives, syslog takes waiting messages or
 * timeout_ms (-1: no limit) has passed. */
static void wait_for_events(int timeout_ms)
{
    struct pollfd entries[2] = {{wake_pipe[0], POLLIN, 0}, {-1, 0, 0}};
    int log_ms = log_sender_poll(&sender, monotonic_ms(), &entries[1]);
    if (log_ms >= 0 && (timeout_ms < 0 || log_ms < timeout_ms))
        timeout_ms = log_ms;
    /* Without the pipe, fall back to a short tick that checks the flags. */
    if (wake_pipe[0] < 0 && (timeout_ms < 0 || timeout_ms > 100))
        timeout_ms = 100;
    if (poll(entries, 2, timeout_ms) > 0 && entries[0].revents) {
        char bytes[64];
        while (read(wake_pipe[0], bytes, sizeof bytes) > 0) {
        }
    }
    log_sender_flush(&sender, monotonic_ms());
}

/* The lock file, opened without following a link and without blocking on
 * whatever else may stand there; a read-only folder still lets an existing
 * one be locked. Only a regular file of this user will do. */
static int open_lock(void)
{
    const int flags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(LOCK_PATH, O_RDWR | O_CREAT | flags, 0600);
    if (fd < 0 && (errno == EROFS || errno == EACCES))
        fd = open(LOCK_PATH, O_RDONLY | flags);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid())) {
        close(fd);
        fd = -1;
    }
    return fd;
}

enum lock_result { LOCK_TAKEN, LOCK_HELD, LOCK_UNUSABLE };

/* Kept open (and so locked) until the process ends. */
static enum lock_result take_lock(void)
{
    int fd = open_lock();
    if (fd < 0)
        return LOCK_UNUSABLE;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return LOCK_TAKEN;
    int held = errno == EWOULDBLOCK;
    close(fd);
    return held ? LOCK_HELD : LOCK_UNUSABLE;
}

static int write_pid(FILE *f, void *context)
{
    (void)context;
    return fprintf(f, "%ld\n", (long)getpid()) > 0;
}

static int write_status(FILE *f, void *context)
{
    (void)context;
    return fprintf(f, "pid=%ld\nstate=%s\nagent=%ld\nsince=%lld\nstarts=%lu\nlast=%s\n", (long)getpid(),
                   status.state, (long)(tessard_pid > 0 ? tessard_pid : 0), status.since, status.starts,
                   status.last) > 0;
}

/* The files live in RAM: no sync. A reader sees the old status or the
 * whole new one. */
static void set_state(const char *state)
{
    status.state = state;
    status.since = boot_seconds();
    if (status.lock_held)
        file_replace(STATUS_PATH, write_status, NULL, 0);
}

/* What a supervisor killed in the middle of a replacement left behind,
 * removed while no other supervisor can be replacing them; then this
 * supervisor's pid file and first status. */
static void claim_files(void)
{
    file_replace_remove_leftovers(AGENT_CFG_PATH);
    file_replace_remove_leftovers(PID_PATH);
    file_replace_remove_leftovers(STATUS_PATH);
    file_replace(PID_PATH, write_pid, NULL, 0);
    set_state("starting");
}

static void put_escaped(FILE *f, const char *text)
{
    for (; text && *text; ++text) {
        if (*text == '\\' || *text == '"')
            putc('\\', f);
        putc(*text, f);
    }
}

static void put_quoted_line(FILE *f, const char *key, const char *value)
{
    fputs(key, f);
    fputs(" = \"", f);
    put_escaped(f, value);
    fputs("\";\r\n", f);
}

static int write_agent_cfg(FILE *f, void *context)
{
    const module_settings *settings = (const module_settings *)context;
    put_quoted_line(f, "server", DEFAULT_SERVER_URL);
    put_quoted_line(f, "username", settings->username);
    put_quoted_line(f, "password", settings->password);
    fprintf(f, "interval = %u;\r\n", (unsigned)(settings->interval * 60u));
    fputs(AGENT_CFG_TAIL, f);
    return 1;
}

/* The file holds the platform password: mode 0600, also over an existing
 * file. Replaced whole, so that the agent sees either the previous file or
 * the whole new one, never a torn one. It lives in RAM: no sync. */
static int create_agent_cfg(const module_settings *settings)
{
    return file_replace(AGENT_CFG_PATH, write_agent_cfg, (void *)settings, 0) == FILE_REPLACE_DONE;
}

/* Runs in the vfork child, on the parent's memory: system calls only. The
 * agent dies with the supervisor, however that ends (SIGKILL, a crash): the
 * agent may ignore gentler signals, and SIGKILL is what a stop sends it. A
 * supervisor that died before the request took hold is seen as a changed
 * parent. The agent gets default dispositions and an empty signal mask; a
 * stop signal that arrives before the exec ends the child instead of running
 * the supervisor's handler in it. */
[[noreturn]] static void exec_agent(char *const argv[], pid_t supervisor)
{
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != supervisor)
        _exit(1);
    struct sigaction dfl;
    memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    for (int signo : HANDLED_SIGNALS)
        sigaction(signo, &dfl, NULL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, NULL);
    execvp(argv[0], argv);
    _exit(1);
}

/* Writes the agent configuration and starts the agent. Gives the child's
 * process id, or a negative value when no process could be created.
 * The caller blocks all signals around the call. */
static pid_t run_tessard(const module_settings *settings)
{
    static char arg0[] = AGENT_PATH;
    static char arg1[] = "-vc";
    static char arg2[] = AGENT_CFG_PATH;
    static char *const argv[] = {arg0, arg1, arg2, NULL};

    say(LOG_NOTICE, "Starting agent");
    if (!create_agent_cfg(settings))
        say(LOG_ERR, "Creating tessard.cfg failed");
    pid_t supervisor = getpid();
    pid_t pid = vfork();
    if (pid == 0)
        exec_agent(argv, supervisor);
    return pid;
}

/* The last messages get one try: a stop is served at once, also while
 * syslog takes nothing. */
[[noreturn]] static void terminate(void)
{
    if (tessard_pid > 0) {
        say(LOG_NOTICE, "sending SIGKILL to agent");
        kill(tessard_pid, SIGKILL);
    }
    if (status.lock_held) {
        unlink(STATUS_PATH);
        unlink(PID_PATH);
    }
    say(LOG_NOTICE, "terminated");
    log_sender_close(&sender);
    exit(0);
}

enum state { SPAWNING, RUNNING, PAUSING };

static enum state spawn(const module_settings *settings)
{
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    tessard_pid = run_tessard(settings);
    sigprocmask(SIG_SETMASK, &old, NULL);
    if (tessard_pid <= 0)
        return SPAWNING;
    ++status.starts;
    set_state("running");
    return RUNNING;
}

static void record_end(int wait_status)
{
    if (WIFEXITED(wait_status))
        snprintf(status.last, sizeof status.last, "exit %d", WEXITSTATUS(wait_status));
    else if (WIFSIGNALED(wait_status))
        snprintf(status.last, sizeof status.last, "signal %d", WTERMSIG(wait_status));
}

static enum state watch_agent(long long *pause_end)
{
    wait_for_events(-1);
    if (stop_requested)
        return RUNNING;
    int wait_status;
    pid_t reaped = waitpid(tessard_pid, &wait_status, WNOHANG);
    if (reaped == 0 || (reaped < 0 && errno == EINTR))
        return RUNNING;
    if (reaped > 0)
        record_end(wait_status);
    tessard_pid = 0;
    say(LOG_NOTICE, "agent_terminated");
    *pause_end = monotonic_ms() + RESTART_PAUSE_MS;
    set_state("pausing");
    return PAUSING;
}

static enum state pause_before_restart(long long pause_end)
{
    long long left = pause_end - monotonic_ms();
    if (left <= 0)
        return SPAWNING;
    wait_for_events((int)left);
    return PAUSING;
}

/* A stop request is served at the top of every round, in every state; the
 * self-pipe wakes the waits, so none is lost between check and wait. */
[[noreturn]] static void supervise(const module_settings *settings)
{
    enum state state = SPAWNING;
    long long pause_end = 0;
    for (;;) {
        if (stop_requested)
            terminate();
        switch (state) {
        case SPAWNING:
            state = spawn(settings);
            break;
        case RUNNING:
            state = watch_agent(&pause_end);
            break;
        case PAUSING:
            state = pause_before_restart(pause_end);
            break;
        }
    }
}

/* A router without swap never gets back a dirty page. glibc's malloc
 * serves even a page-sized request from the heap's spare top, which it
 * keeps: each file written would leave its stdio buffer's pages dirty
 * there. With no spare top, requests of a page and more are mapped and
 * unmapped again (the stdio buffers, a folder listing), and the heap holds
 * only the small lasting texts (the time zone, the settings): one page. */
static void keep_heap_small(void)
{
    mallopt(M_TOP_PAD, 0);
    mallopt(M_MMAP_THRESHOLD, 4096);
}

/* A descriptor 0, 1 or 2 that the caller left closed would be taken by the
 * next file opened, and the agent would write its log lines into it. An
 * open takes the lowest free descriptor: /dev/null fills the gaps until it
 * lands above 2. */
static void open_standard_descriptors(void)
{
    int fd;
    while ((fd = open("/dev/null", O_RDWR)) >= 0 && fd <= 2) {
    }
    if (fd > 2)
        close(fd);
}

/* A second supervisor leaves everything to the first: it writes nothing
 * and starts nothing. Where no lock can be had at all (/var/orvanta
 * missing, or read-only before any supervisor made the file), the agent is
 * started all the same, as without the configuration file; such a
 * supervisor writes no pid file and no status. */
int main(void)
{
    keep_heap_small();
    open_standard_descriptors();
    setsid();
    install_handlers();
    open_log();
    enum lock_result lock = take_lock();
    if (lock == LOCK_HELD) {
        say(LOG_WARNING, "another supervisor is running");
        log_sender_close(&sender);
        return 1;
    }
    say(LOG_NOTICE, "started");
    status.lock_held = lock == LOCK_TAKEN;
    if (status.lock_held)
        claim_files();
    else
        say(LOG_ERR, "Locking module-supervisor.lock failed");
    module_settings settings;
    module_cfg_load(&settings);
    supervise(&settings);
}
