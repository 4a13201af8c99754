/*
 * module-supervisor: writes the host agent's configuration from the module
 * settings, starts the agent, restarts it 3 s after it ends and, on SIGINT,
 * SIGTERM or SIGQUIT, kills it and exits. Reports through syslog only.
 *
 * Built as C-style C++ that needs nothing but libc at run time.
 */
#include "file_replace.h"
#include "module_cfg.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#define AGENT_PATH "/opt/orvanta/bin/tessard"
#define AGENT_CFG_PATH "/var/orvanta/tessard.cfg"
#define DEFAULT_SERVER_URL "http://developer.orvanta.com/s"

static const long long RESTART_PAUSE_NS = 3000000000LL;

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

/* Only records: the main loop does the logging, the SIGKILL and the exit,
 * so that a signal that interrupts syslog or stdio cannot corrupt them. */
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
     * library's flavour (no one-shot reset), SA_RESTART keeps syslog and
     * file writes from failing with EINTR, and SA_NOCLDSTOP keeps a stopped
     * agent from waking the loop. */
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

static long long monotonic_ns(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

/* Sleeps until a signal arrives or timeout_ms (-1: no limit) has passed. */
static void wait_for_signal(int timeout_ms)
{
    /* Without the pipe, fall back to a short tick that checks the flags. */
    if (wake_pipe[0] < 0 && (timeout_ms < 0 || timeout_ms > 100))
        timeout_ms = 100;
    struct pollfd wake = {wake_pipe[0], POLLIN, 0};
    if (poll(&wake, 1, timeout_ms) > 0) {
        char bytes[64];
        while (read(wake_pipe[0], bytes, sizeof bytes) > 0) {
        }
    }
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

    syslog(LOG_NOTICE, "Starting agent");
    if (!create_agent_cfg(settings))
        syslog(LOG_ERR, "Creating tessard.cfg failed");
    pid_t supervisor = getpid();
    pid_t pid = vfork();
    if (pid == 0)
        exec_agent(argv, supervisor);
    return pid;
}

[[noreturn]] static void terminate(void)
{
    if (tessard_pid > 0) {
        syslog(LOG_NOTICE, "sending SIGKILL to agent");
        kill(tessard_pid, SIGKILL);
    }
    syslog(LOG_NOTICE, "terminated");
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
    return tessard_pid > 0 ? RUNNING : SPAWNING;
}

static enum state watch_agent(long long *pause_end)
{
    wait_for_signal(-1);
    if (stop_requested)
        return RUNNING;
    int status;
    pid_t reaped = waitpid(tessard_pid, &status, WNOHANG);
    if (reaped == 0 || (reaped < 0 && errno == EINTR))
        return RUNNING;
    tessard_pid = 0;
    syslog(LOG_NOTICE, "agent_terminated");
    *pause_end = monotonic_ns() + RESTART_PAUSE_NS;
    return PAUSING;
}

static enum state pause_before_restart(long long pause_end)
{
    long long left = pause_end - monotonic_ns();
    if (left <= 0)
        return SPAWNING;
    wait_for_signal((int)((left + 999999) / 1000000));
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

int main(void)
{
    open_standard_descriptors();
    setsid();
    install_handlers();
    openlog("orvanta", LOG_PID | LOG_NDELAY, LOG_DAEMON);
    syslog(LOG_NOTICE, "started");
    module_settings settings;
    module_cfg_load(&settings);
    supervise(&settings);
}
