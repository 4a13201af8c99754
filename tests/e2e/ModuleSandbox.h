// A router on this machine, for whole-program tests: substitute router
// tools, the plug-in library in /opt/orvanta/lib (found by its bare name
// through LD_LIBRARY_PATH, as on the router), the development agent at
// "/opt/orvanta/bin/tessard", and the standard output and error of the
// programs started captured in files of the build tree.
#ifndef ORVANTA_TESTS_E2E_MODULESANDBOX_H
#define ORVANTA_TESTS_E2E_MODULESANDBOX_H

#include "RouterTools.h"
#include "SandboxTesting.h"
#include "SupervisorFiles.h"
#include "TempDir.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace orvanta::test {

using namespace std::chrono_literals;

inline std::string fileContent(const std::string& path)
{
    return readFileBytes(path).value_or("");
}

inline size_t occurrences(const std::string& text, const std::string& piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

class ModuleSandbox {
public:
    static constexpr const char* agentPath = "/opt/orvanta/bin/tessard";
    static constexpr const char* configurationPath = "/var/orvanta/tessard.cfg";
    static constexpr const char* agentPidPath = "/var/orvanta/tessard.pid";

    // library: the plug-in library to install; agent: the program that
    // plays the agent.
    explicit ModuleSandbox(const std::string& library = ORVANTA_PLUGIN,
                           const std::string& agent = ORVANTA_AGENT)
        : tools(sandbox), out(sandbox.dir() + "/stdout"), err(sandbox.dir() + "/stderr")
    {
        std::string bytes = fileContent(library);
        // The wrapper notes the agent's pid, so that a test can kill it.
        ready = sandbox.ok() && tools.installed() && !bytes.empty() &&
                sandbox.writeFile("/opt/orvanta/lib/tessard-system-resources.so", bytes, 0755) &&
                sandbox.writeFile(
                    agentPath,
                    "#!/bin/sh\necho $$ > " + std::string(agentPidPath) + "\nexec '" + agent + "' \"$@\"\n",
                    0755);
    }

    // The environment that the router's start script gives the supervisor.
    static std::vector<std::string> environment()
    {
        std::vector<std::string> env = Sandbox::defaultEnvironment();
        env.push_back("LD_LIBRARY_PATH=/opt/orvanta/lib");
        return env;
    }

    // Starts argv with standard output and error going to the files, with
    // the entries of extraEnvironment added to environment().
    pid_t start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment = {})
    {
        std::string outPath = out, errPath = err;
        std::vector<std::string> env = environment();
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        return sandbox.start(argv, env, [outPath, errPath] {
            int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            ::dup2(o, 1);
            ::dup2(e, 2);
        });
    }

    std::string wire() const { return fileContent(out); }
    std::string log() const { return fileContent(err); }

    // Waits until file holds piece at least count times.
    bool waitFor(const std::string& file, const std::string& piece, size_t count = 1,
                 std::chrono::milliseconds timeout = 15s) const
    {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (occurrences(fileContent(file), piece) < count) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    bool waitForWire(const std::string& piece, size_t count = 1,
                     std::chrono::milliseconds timeout = 15s) const
    {
        return waitFor(out, piece, count, timeout);
    }
    bool waitForLog(const std::string& piece, size_t count = 1, std::chrono::milliseconds timeout = 15s) const
    {
        return waitFor(err, piece, count, timeout);
    }

    Sandbox sandbox;
    RouterTools tools;
    std::string out, err;
    bool ready = false;
};

} // namespace orvanta::test

#endif
