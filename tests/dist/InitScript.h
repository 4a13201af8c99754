// Running the module's start/stop script, "/opt/orvanta/etc/init", inside a
// sandbox, and looking at the processes it leaves.
#pragma once

#include "Sandbox.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orvanta::test {

struct ScriptResult {
    int exitCode = -1;  // -1: did not end in time, or was killed
    std::string out;
    std::string err;
};

// What runs the script: the shell's argv before the script path, and the
// environment (PATH decides which tools it finds).
struct Shell {
    std::string name;
    std::vector<std::string> argv;
    std::vector<std::string> env;
};

// Runs "<shell> /opt/orvanta/etc/init <action>" and waits for it.
ScriptResult runInit(Sandbox& sandbox, const Shell& shell, const std::string& action);

// The process's state letter from /proc (Z for a zombie); nothing when gone.
std::optional<char> processState(pid_t pid);
// True while pid exists and has not ended.
bool processLiving(pid_t pid);
// The kernel's name of the program (/proc/PID/comm without its line end).
std::string processName(pid_t pid);
// The processes of group pgid that have not ended.
std::vector<pid_t> livingGroupMembers(pid_t pgid);
// The children of pid (from /proc/PID/task/PID/children).
std::vector<pid_t> childrenOf(pid_t pid);

// The bytes of a file of the source tree.
std::string sourceFile(const std::string& path);

}  // namespace orvanta::test
