// What /proc tells about the processes a test started, including those
// it cannot reap (orphans adopted elsewhere, or any child under qemu-user).
#ifndef ORVANTA_TESTS_SUPPORT_PROCESSES_H
#define ORVANTA_TESTS_SUPPORT_PROCESSES_H

#include <sys/types.h>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::test {

// The process's state letter from /proc (Z for a zombie); nothing when gone.
std::optional<char> processState(pid_t pid);
// True while pid exists and has not ended.
bool processLiving(pid_t pid);
// The kernel's name of the program (/proc/PID/comm without its line end).
std::string processName(pid_t pid);
// The processes of group pgid that have not ended.
std::vector<pid_t> livingGroupMembers(pid_t pgid);
// The processes of session sid that have not ended.
std::vector<pid_t> livingSessionMembers(pid_t sid);
// The children of pid (from /proc/PID/task/PID/children).
std::vector<pid_t> childrenOf(pid_t pid);

// Waits until pid has ended (gone, or a zombie) for at most timeout.
bool processEndsWithin(pid_t pid, std::chrono::milliseconds timeout);

} // namespace orvanta::test

#endif
