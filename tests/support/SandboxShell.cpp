#include "SandboxShell.h"
#include "TempDir.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <csignal>

namespace orvanta::test {

SandboxShell::SandboxShell(Sandbox& sandbox) : box(sandbox)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    const int childIn = in[0], childOut = out[1];
    shellPid = sandbox.start({"/bin/sh"}, Sandbox::defaultEnvironment(), [childIn, childOut] {
        if (dup2(childIn, STDIN_FILENO) < 0 || dup2(childOut, STDOUT_FILENO) < 0 ||
            dup2(childOut, STDERR_FILENO) < 0)
            _exit(126);
    });
    close(in[0]);
    close(out[1]);
    toShell = in[1];
    fromShell = out[0];
}

SandboxShell::~SandboxShell()
{
    if (toShell >= 0)
        close(toShell);
    if (shellPid > 0 && !box.waitExit(shellPid, std::chrono::seconds(10))) {
        kill(shellPid, SIGKILL);
        box.waitExit(shellPid, std::chrono::seconds(10));
    }
    if (fromShell >= 0)
        close(fromShell);
}

ScriptResult SandboxShell::run(const std::string& command, std::chrono::seconds timeout)
{
    ScriptResult result;
    if (!ok())
        return result;
    const std::string base = box.dir() + "/shell." + std::to_string(++commandCount);
    const std::string marker = "__done " + std::to_string(commandCount) + " ";
    const std::string line =
        "{ " + command + "\n} >" + base + ".out 2>" + base + ".err; echo \"" + marker + "$?\"\n";
    if (write(toShell, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return result;

    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::size_t at = pending.find(marker);
        std::size_t end = at == std::string::npos ? at : pending.find('\n', at);
        if (end != std::string::npos) {
            result.exitCode = std::atoi(pending.c_str() + at + marker.size());
            pending.erase(0, end + 1);
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd p{fromShell, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return result;
        char buffer[4096];
        ssize_t n = read(fromShell, buffer, sizeof buffer);
        if (n <= 0)
            return result;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    result.out = readFileBytes(base + ".out").value_or("");
    result.err = readFileBytes(base + ".err").value_or("");
    return result;
}

bool SandboxShell::place(const std::string& absPath, const std::string& bytes, const char* mode)
{
    const std::string staged = box.dir() + "/staged." + std::to_string(commandCount + 1);
    if (!writeFileBytes(staged, bytes))
        return false;
    ScriptResult result = run("mkdir -p \"$(dirname '" + absPath + "')\" && cp '" + staged + "' '" + absPath +
                              "' && chmod " + mode + " '" + absPath + "'");
    unlink(staged.c_str());
    return result.exitCode == 0;
}

} // namespace orvanta::test
