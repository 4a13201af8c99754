#include "ShellCommand.h"
#include "TempDir.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>

namespace orvanta::test {

ScriptResult runShell(Sandbox& sandbox, const Shell& shell, const std::vector<std::string>& args,
                      const Sandbox::ChildSetup& setup)
{
    ScriptResult result;
    const std::string outPath = sandbox.dir() + "/init.out";
    const std::string errPath = sandbox.dir() + "/init.err";
    const char* out = outPath.c_str();
    const char* err = errPath.c_str();
    std::vector<std::string> argv = shell.argv;
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = sandbox.start(argv, shell.env, [out, err, &setup] {
        if (setup)
            setup();
        int o = open(out, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        int e = open(err, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (o < 0 || e < 0 || dup2(o, STDOUT_FILENO) < 0 || dup2(e, STDERR_FILENO) < 0)
            _exit(126);
    });
    int status = 0;
    if (pid > 0 && sandbox.waitExit(pid, std::chrono::seconds(60), &status) && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = readFileBytes(outPath).value_or("");
    result.err = readFileBytes(errPath).value_or("");
    return result;
}

std::string sourceFile(const std::string& path)
{
    return readFileBytes(std::string(ORVANTA_SOURCE_DIR) + "/" + path).value_or("");
}

} // namespace orvanta::test
