/*
 * The programs the page runs: the settings tool and the start script, and
 * logread. Started with their argument vectors, never through a shell,
 * with an environment of PATH alone (nothing of the request's variables),
 * their signals at their defaults and none of the page's descriptors.
 */
#ifndef ORVANTA_SPAWN_H
#define ORVANTA_SPAWN_H

#include <stddef.h>
#include <sys/types.h>

/* Runs argv[0] (an absolute path) with input and a line feed on its
 * standard input (null: /dev/null) and its output to /dev/null; waits for
 * it. Gives its exit status, 128 + the signal that ended it, or -1 when it
 * could not be started. */
int spawn_wait(const char *const argv[], const char *input);

/* Starts argv[0] with its standard output on a pipe, whose read end goes to
 * *output (close-on-exec); stdin and stderr on /dev/null. Gives its pid, or
 * -1. The caller reads the pipe, closes it and reaps the child. */
pid_t spawn_reader(const char *const argv[], int *output);

#endif
