// Running the module's start/stop script, "/opt/orvanta/etc/init", inside a
// sandbox, and looking at the processes it leaves.
#ifndef ORVANTA_TESTS_SUPPORT_SHELLCOMMAND_H
#define ORVANTA_TESTS_SUPPORT_SHELLCOMMAND_H

#include "Processes.h"
#include "Sandbox.h"

#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::test {

struct ScriptResult {
    int exitCode = -1; // -1: did not end in time, or was killed
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

// Runs "<shell> <args>" and waits for it; setup runs in the child first.
ScriptResult runShell(Sandbox& sandbox, const Shell& shell, const std::vector<std::string>& args,
                      const Sandbox::ChildSetup& setup = {});

// The bytes of a file of the source tree.
std::string sourceFile(const std::string& path);

} // namespace orvanta::test

#endif
