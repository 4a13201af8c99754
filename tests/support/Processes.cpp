#include "Processes.h"

#include "TempDir.h"

#include <dirent.h>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace orvanta::test {

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

} // namespace

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

namespace {

// The living processes whose stat field `field` (after the command name) is id.
std::vector<pid_t> livingWith(std::size_t field, pid_t id)
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
        if (fields.size() > field && std::atoi(fields[field].c_str()) == id && processLiving(pid))
            members.push_back(pid);
    }
    closedir(proc);
    return members;
}

} // namespace

std::vector<pid_t> livingGroupMembers(pid_t pgid)
{
    return livingWith(2, pgid);
}

std::vector<pid_t> livingSessionMembers(pid_t sid)
{
    return livingWith(3, sid);
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

bool processEndsWithin(pid_t pid, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (processLiving(pid)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace orvanta::test
