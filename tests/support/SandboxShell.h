// A shell running inside a sandbox and fed one command at a time. What the
// commands start shares the shell's namespace: the same overlays and the
// syslog recorder, which a sandbox binds for the first program it starts.
#ifndef ORVANTA_TESTS_SUPPORT_SANDBOXSHELL_H
#define ORVANTA_TESTS_SUPPORT_SANDBOXSHELL_H

#include "Sandbox.h"
#include "ShellCommand.h"

#include <sys/types.h>
#include <chrono>
#include <string>

namespace orvanta::test {

class SandboxShell {
public:
    // Starts /bin/sh in the sandbox; ok() tells whether that worked.
    explicit SandboxShell(Sandbox& sandbox);
    // Ends the shell (its input closed) and waits for it.
    ~SandboxShell();
    SandboxShell(const SandboxShell&) = delete;
    SandboxShell& operator=(const SandboxShell&) = delete;

    bool ok() const { return shellPid > 0; }

    // Runs one command line; its exit code (-1 when the shell did not answer
    // in time) and what it wrote on each stream.
    ScriptResult run(const std::string& command, std::chrono::seconds timeout = std::chrono::seconds(60));

    // Places bytes at absPath inside, through the shell (a file written into
    // an overlay's upper layer from outside may stay unseen inside).
    bool place(const std::string& absPath, const std::string& bytes, const char* mode);

private:
    Sandbox& box;
    pid_t shellPid = -1;
    int toShell = -1;
    int fromShell = -1;
    std::string pending;
    unsigned commandCount = 0;
};

} // namespace orvanta::test

#endif
