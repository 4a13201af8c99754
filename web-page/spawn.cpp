#include "spawn.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static char *const ENVIRONMENT[] = {(char *)"PATH=/usr/sbin:/usr/bin:/sbin:/bin", NULL};

/* The highest descriptor that may be open; the web server may have left
 * some to us (its listening socket, say), and a daemon that the start
 * script starts must not keep them. */
static int descriptor_limit(void)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 4096)
        return 4096;
    return (int)limit.rlim_cur;
}

/* In the child: stdin, stdout and stderr from the given descriptors (all
 * above 2, which the page keeps open), every other one closed, signals at
 * their defaults and unblocked, then the exec. System calls only. */
[[noreturn]] static void exec_child(const char *const argv[], int in, int out, int err, int limit)
{
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
        _exit(127);
    for (int fd = 3; fd < limit; ++fd)
        close(fd);
    for (int signo = 1; signo < NSIG; ++signo)
        signal(signo, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, NULL);
    execve(argv[0], (char *const *)argv, ENVIRONMENT);
    _exit(127);
}

static int reap(pid_t pid)
{
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

static int write_all(int fd, const char *data, size_t length)
{
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        data += n;
        length -= (size_t)n;
    }
    return 1;
}

int spawn_wait(const char *const argv[], const char *input)
{
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    int feed[2] = {-1, -1};
    if (null < 0 || (input && pipe2(feed, O_CLOEXEC) != 0)) {
        if (null >= 0)
            close(null);
        return -1;
    }
    int limit = descriptor_limit();
    pid_t pid = fork();
    if (pid == 0)
        exec_child(argv, input ? feed[0] : null, null, null, limit);
    close(null);
    if (input)
        close(feed[0]);
    if (pid < 0) {
        if (input)
            close(feed[1]);
        return -1;
    }
    if (input) {
        /* A program that does not read its input (refusing its arguments)
         * makes this fail; its exit status says why. */
        if (write_all(feed[1], input, strlen(input)))
            write_all(feed[1], "\n", 1);
        close(feed[1]);
    }
    return reap(pid);
}

pid_t spawn_reader(const char *const argv[], int *output)
{
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    int pipe_fds[2];
    if (null < 0 || pipe2(pipe_fds, O_CLOEXEC) != 0) {
        if (null >= 0)
            close(null);
        return -1;
    }
    int limit = descriptor_limit();
    pid_t pid = fork();
    if (pid == 0)
        exec_child(argv, null, pipe_fds[1], null, limit);
    close(null);
    close(pipe_fds[1]);
    if (pid < 0) {
        close(pipe_fds[0]);
        return -1;
    }
    *output = pipe_fds[0];
    return pid;
}
