#include "SandboxShell.h"
#include "TempDir.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <csignal>

namespace orvanta::test {

SandboxShell::SandboxShell(Sandbox& sandbox) : sandbox_(sandbox)
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
    pid_ = sandbox.start({"/bin/sh"}, Sandbox::defaultEnvironment(), [childIn, childOut] {
        if (dup2(childIn, STDIN_FILENO) < 0 || dup2(childOut, STDOUT_FILENO) < 0 ||
            dup2(childOut, STDERR_FILENO) < 0)
            _exit(126);
    });
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
}

SandboxShell::~SandboxShell()
{
    if (input_ >= 0)
        close(input_);
    if (pid_ > 0 && !sandbox_.waitExit(pid_, std::chrono::seconds(10))) {
        kill(pid_, SIGKILL);
        sandbox_.waitExit(pid_, std::chrono::seconds(10));
    }
    if (output_ >= 0)
        close(output_);
}

ScriptResult SandboxShell::run(const std::string& command, std::chrono::seconds timeout)
{
    ScriptResult result;
    if (!ok())
        return result;
    const std::string base = sandbox_.dir() + "/shell." + std::to_string(++count_);
    const std::string marker = "__done " + std::to_string(count_) + " ";
    const std::string line =
        "{ " + command + "\n} >" + base + ".out 2>" + base + ".err; echo \"" + marker + "$?\"\n";
    if (write(input_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return result;

    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::size_t at = pending_.find(marker);
        std::size_t end = at == std::string::npos ? at : pending_.find('\n', at);
        if (end != std::string::npos) {
            result.exitCode = std::atoi(pending_.c_str() + at + marker.size());
            pending_.erase(0, end + 1);
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{output_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return result;
        char buffer[4096];
        ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0)
            return result;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    result.out = readFileBytes(base + ".out").value_or("");
    result.err = readFileBytes(base + ".err").value_or("");
    return result;
}

bool SandboxShell::place(const std::string& absPath, const std::string& bytes, const char* mode)
{
    const std::string staged = sandbox_.dir() + "/staged." + std::to_string(count_ + 1);
    if (!writeFileBytes(staged, bytes))
        return false;
    ScriptResult result = run("mkdir -p \"$(dirname '" + absPath + "')\" && cp '" + staged + "' '" +
                              absPath + "' && chmod " + mode + " '" + absPath + "'");
    unlink(staged.c_str());
    return result.exitCode == 0;
}

} // namespace orvanta::test
