// A shell running inside a sandbox and fed one command at a time. What the
// commands start shares the shell's namespace: the same overlays and the
// syslog recorder, which a sandbox binds for the first program it starts.
#pragma once

#include "InitScript.h"
#include "Sandbox.h"

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

    bool ok() const { return pid_ > 0; }

    // Runs one command line; its exit code (-1 when the shell did not answer
    // in time) and what it wrote on each stream.
    ScriptResult run(const std::string& command,
                     std::chrono::seconds timeout = std::chrono::seconds(60));

    // Places bytes at absPath inside, through the shell (a file written into
    // an overlay's upper layer from outside may stay unseen inside).
    bool place(const std::string& absPath, const std::string& bytes, const char* mode);

private:
    Sandbox& sandbox_;
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string pending_;
    unsigned count_ = 0;
};

} // namespace orvanta::test
