/* Measuring probe of scripts/bench; compiled by it.
 *
 * With BENCH_AGENT set in the environment it is the supervised child
 * (installed as the agent and as runsv's ./run): it appends "start <ns>"
 * to $BENCH_LOG, then sleeps until killed (BENCH_AGENT=sleep) or appends
 * "exit <ns>" and ends at once (BENCH_AGENT=exit). Times are
 * CLOCK_MONOTONIC nanoseconds.
 *
 * Otherwise:
 *   bench-probe stop running|pausing LOG CMD...
 *       starts CMD (a supervisor) with a sleeping (running) or an at once
 *       ending (pausing) child, waits until that child has run for 1.5 s
 *       (running) or has ended 300 ms ago (pausing), sends CMD SIGTERM and
 *       prints the microseconds until CMD has ended; then kills whatever
 *       is left in CMD's process group
 *   bench-probe restarts LOG SECONDS CMD...
 *       starts CMD with an at once ending child, stops it after SECONDS
 *       and prints, one a line, the microseconds from each end of the
 *       child to its next start
 *   bench-probe cpu [-t SECONDS] CMD...
 *       runs CMD (sending it SIGTERM after SECONDS) and prints the
 *       user+system CPU microseconds of CMD and of every process it waited
 *       for; CMD must end with exit code 0
 *   bench-probe system [-i MS] N COMMAND...
 *       runs the COMMANDs in turn through system(), N times, MS apart (as
 *       the agent's rounds are: work after a pause costs more than work
 *       done back to back): the bare C program
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long now_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static void log_stamp(const char* path, const char* event)
{
    char line[64];
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    int n = snprintf(line, sizeof line, "%s %lld\n", event, now_ns());
    if (write(fd, line, (size_t)n) != n) {
        /* nothing to do: the bench reports missing stamps */
    }
    close(fd);
}

static int agent(const char* mode)
{
    const char* log = getenv("BENCH_LOG");
    if (log == NULL)
        return 2;
    log_stamp(log, "start");
    if (strcmp(mode, "exit") == 0) {
        log_stamp(log, "exit");
        _exit(0);
    }
    for (;;)
        pause();
}

/* True once LOG holds a line beginning with WORD. */
static int logged(const char* log, const char* word)
{
    char line[128];
    int found = 0;
    FILE* f = fopen(log, "re");
    if (f == NULL)
        return 0;
    while (!found && fgets(line, sizeof line, f) != NULL)
        found = strncmp(line, word, strlen(word)) == 0;
    fclose(f);
    return found;
}

static void sleep_ms(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

static void quiet(void)
{
    int fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
    }
}

/* Starts a supervisor whose child is this probe in agent mode MODE. */
static pid_t start_supervisor(const char* mode, const char* log, char** argv)
{
    if (unlink(log) != 0 && errno != ENOENT)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        setenv("BENCH_AGENT", mode, 1);
        setenv("BENCH_LOG", log, 1);
        quiet();
        execvp(argv[0], argv);
        _exit(127);
    }
    return pid;
}

static int stop(const char* state, const char* log, char** argv)
{
    int running = strcmp(state, "running") == 0;
    pid_t pid = start_supervisor(running ? "sleep" : "exit", log, argv);
    if (pid < 0)
        return 2;
    for (int waited = 0; !logged(log, running ? "start" : "exit"); waited++) {
        if (waited > 10000 || waitpid(pid, NULL, WNOHANG) != 0) {
            fprintf(stderr, "bench-probe: %s never started its child\n", argv[0]);
            return 1;
        }
        sleep_ms(1);
    }
    /* runsv throttles a child that ran for less than a second. */
    sleep_ms(running ? 1500 : 300);
    long long t0 = now_ns();
    kill(pid, SIGTERM);
    while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
    }
    long long t1 = now_ns();
    kill(-pid, SIGKILL);
    printf("%lld\n", (t1 - t0) / 1000);
    return 0;
}

static int restarts(const char* log, int seconds, char** argv)
{
    pid_t pid = start_supervisor("exit", log, argv);
    if (pid < 0)
        return 2;
    sleep_ms(seconds * 1000L);
    kill(pid, SIGTERM);
    while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
    }
    kill(-pid, SIGKILL);

    char event[16];
    long long stamp, ended = -1;
    FILE* f = fopen(log, "re");
    if (f == NULL)
        return 1;
    while (fscanf(f, "%15s %lld", event, &stamp) == 2) {
        if (strcmp(event, "exit") == 0)
            ended = stamp;
        else if (ended >= 0) {
            printf("%lld\n", (stamp - ended) / 1000);
            ended = -1;
        }
    }
    fclose(f);
    return 0;
}

static int cpu(double seconds, char** argv)
{
    struct rusage ru;
    int status;
    pid_t pid = fork();
    if (pid < 0)
        return 2;
    if (pid == 0) {
        quiet();
        execvp(argv[0], argv);
        _exit(127);
    }
    if (seconds > 0) {
        sleep_ms((long)(seconds * 1000));
        kill(pid, SIGTERM);
    }
    while (wait4(pid, &status, 0, &ru) < 0) {
        if (errno != EINTR)
            return 2;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "bench-probe: %s failed\n", argv[0]);
        return 1;
    }
    long long us =
        (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000LL + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
    printf("%lld\n", us);
    return 0;
}

int main(int argc, char** argv)
{
    const char* mode = getenv("BENCH_AGENT");
    if (mode != NULL)
        return agent(mode);
    if (argc >= 5 && strcmp(argv[1], "stop") == 0)
        return stop(argv[2], argv[3], argv + 4);
    if (argc >= 5 && strcmp(argv[1], "restarts") == 0)
        return restarts(argv[2], atoi(argv[3]), argv + 4);
    if (argc >= 5 && strcmp(argv[1], "cpu") == 0 && strcmp(argv[2], "-t") == 0)
        return cpu(atof(argv[3]), argv + 4);
    if (argc >= 3 && strcmp(argv[1], "cpu") == 0)
        return cpu(0, argv + 2);
    if (argc >= 4 && strcmp(argv[1], "system") == 0) {
        long pause = 0;
        int first = 2;
        if (argc >= 6 && strcmp(argv[2], "-i") == 0) {
            pause = atol(argv[3]);
            first = 4;
        }
        for (int i = atoi(argv[first]); i > 0; i--) {
            for (int c = first + 1; c < argc; c++)
                if (system(argv[c]) == -1)
                    return 1;
            if (i > 1)
                sleep_ms(pause);
        }
        return 0;
    }
    fprintf(stderr,
            "usage: bench-probe stop running|pausing LOG CMD... | restarts LOG SECONDS CMD...\n"
            "       | cpu [-t SECONDS] CMD... | system [-i MS] N COMMAND...\n");
    return 2;
}
