#include "InitScript.h"
#include "TempDir.h"

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace orvanta::test {

ScriptResult runInit(Sandbox& sandbox, const Shell& shell, const std::string& action)
{
    ScriptResult result;
    const std::string outPath = sandbox.dir() + "/init.out";
    const std::string errPath = sandbox.dir() + "/init.err";
    const char* out = outPath.c_str();
    const char* err = errPath.c_str();
    std::vector<std::string> argv = shell.argv;
    argv.push_back("/opt/orvanta/etc/init");
    argv.push_back(action);
    pid_t pid = sandbox.start(argv, shell.env, [out, err] {
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

namespace {

// The fields of /proc/PID/stat after the command name: state, ppid, pgrp...
std::vector<std::string> statFields(pid_t pid)
{
    auto stat = readFileBytes("/proc/" + std::to_string(pid) + "/stat");
    std::vector<std::string> fields;
    if (!stat)
        return fields;
    std::size_t close = stat->rfind(')');
    if (close == std::string::npos)
        return fields;
    std::istringstream rest(stat->substr(close + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

}  // namespace

std::optional<char> processState(pid_t pid)
{
    std::vector<std::string> fields = statFields(pid);
    if (fields.empty())
        return std::nullopt;
    return fields[0][0];
}

bool processLiving(pid_t pid)
{
    std::optional<char> state = processState(pid);
    return state && *state != 'Z' && *state != 'X';
}

std::string processName(pid_t pid)
{
    std::string name = readFileBytes("/proc/" + std::to_string(pid) + "/comm").value_or("");
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

std::vector<pid_t> livingGroupMembers(pid_t pgid)
{
    std::vector<pid_t> members;
    DIR* proc = opendir("/proc");
    if (!proc)
        return members;
    while (dirent* entry = readdir(proc)) {
        pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::vector<std::string> fields = statFields(pid);
        if (fields.size() > 2 && std::atoi(fields[2].c_str()) == pgid && processLiving(pid))
            members.push_back(pid);
    }
    closedir(proc);
    return members;
}

std::vector<pid_t> childrenOf(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    std::istringstream list(readFileBytes(path).value_or(""));
    std::vector<pid_t> children;
    for (pid_t child; list >> child;)
        children.push_back(child);
    return children;
}

std::string sourceFile(const std::string& path)
{
    return readFileBytes(std::string(ORVANTA_SOURCE_DIR) + "/" + path).value_or("");
}

}  // namespace orvanta::test
