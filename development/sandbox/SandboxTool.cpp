// orvanta-sandbox: runs one program inside a sandbox and prints the syslog
// messages it sends, one per line, as "<severity>.<facility> ident[pid]: text".
//
//   orvanta-sandbox [--upper DIR] [--no-var-orvanta] [--syslog FILE] [--stop-after SECONDS] -- PROGRAM
//   [ARG...]
//
// --upper DIR        DIR/opt, DIR/var, DIR/usr_bin and DIR/dev are the upper
//                    layers: prepare files there before, read results after.
// --syslog FILE      append the messages to FILE as they arrive instead
//                    (for a program that reads them itself).
// --stop-after S     send the program SIGTERM after S seconds.
// When the program has ended, whatever it left running in the sandbox is
// killed: nothing outlives the sandbox. Where no sandbox can be made, exits
// with 77 (a skip for test runners), or 2 under CI=true.
// SIGINT or SIGTERM to this tool is passed on to the program as SIGTERM; a
// program still running 5 s after SIGTERM gets SIGKILL. Exits with the
// program's exit code (128 + signal when it was killed).
#include "Sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using orvanta::test::Sandbox;
using orvanta::test::SandboxOptions;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: orvanta-sandbox [--upper DIR] [--no-var-orvanta] [--syslog FILE] "
                 "[--stop-after SECONDS] -- PROGRAM [ARG...]\n");
    return 2;
}

struct Arguments {
    SandboxOptions options;
    double stopAfter = -1;
    std::string syslogFile;
    std::vector<std::string> program;
};

bool parse(int argc, char** argv, Arguments& arguments)
{
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        std::string arg = argv[i];
        if (arg == "--upper" && i + 1 < argc)
            arguments.options.upperRoot = argv[++i];
        else if (arg == "--syslog" && i + 1 < argc)
            arguments.syslogFile = argv[++i];
        else if (arg == "--no-var-orvanta")
            arguments.options.varOrvanta = false;
        else if (arg == "--stop-after" && i + 1 < argc)
            arguments.stopAfter = std::atof(argv[++i]);
        else
            return false;
    }
    if (i + 1 >= argc)
        return false;
    arguments.program.assign(argv + i + 1, argv + argc);
    return true;
}

// Shows the syslog messages as they come until pid ends, stopping it on a
// stop request or after stopAfter seconds; gives its wait status.
int superviseUntilEnd(Sandbox& sandbox, pid_t pid, double stopAfter, bool show)
{
    using Clock = std::chrono::steady_clock;
    auto started = Clock::now();
    Clock::time_point termSent{};
    bool terminating = false;
    std::size_t shown = 0;
    auto showNew = [&] {
        if (!show)
            return;
        auto messages = sandbox.syslog().messages();
        for (; shown < messages.size(); ++shown)
            std::printf("%s\n", messages[shown].line().c_str());
        std::fflush(stdout);
    };
    int status = 0;
    for (;;) {
        showNew();
        if (sandbox.waitExit(pid, std::chrono::milliseconds(20), &status))
            break;
        auto now = Clock::now();
        bool due = stopAfter >= 0 && now - started >= std::chrono::duration<double>(stopAfter);
        if (!terminating && (stopRequested || due)) {
            kill(pid, SIGTERM);
            terminating = true;
            termSent = now;
        } else if (terminating && now - termSent > std::chrono::seconds(5)) {
            kill(pid, SIGKILL);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    showNew();
    return status;
}

// The sandbox's mount namespace, held open: a namespace that nothing holds
// is freed and its number given to the next one made, another sandbox's.
int holdMountNamespace(pid_t pid)
{
    return open(("/proc/" + std::to_string(pid) + "/ns/mnt").c_str(), O_RDONLY | O_CLOEXEC);
}

bool inNamespace(pid_t pid, const struct stat& ns)
{
    struct stat st;
    return stat(("/proc/" + std::to_string(pid) + "/ns/mnt").c_str(), &st) == 0 && st.st_ino == ns.st_ino &&
           st.st_dev == ns.st_dev;
}

// Kills, until none is left, the processes of the sandbox's mount
// namespace (which only what the program started can be in).
void endWhatIsLeft(int nsFd)
{
    struct stat ns;
    if (nsFd < 0 || fstat(nsFd, &ns) != 0)
        return;
    for (int round = 0; round < 100; ++round) {
        int found = 0;
        if (DIR* proc = opendir("/proc")) {
            while (dirent* entry = readdir(proc)) {
                pid_t p = std::atoi(entry->d_name);
                if (p > 1 && p != getpid() && inNamespace(p, ns)) {
                    kill(p, SIGKILL);
                    ++found;
                }
            }
            closedir(proc);
        }
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (!found)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    if (!parse(argc, argv, arguments))
        return usage();
    if (!Sandbox::unavailableReason().empty()) {
        std::fprintf(stderr, "orvanta-sandbox: no sandbox on this machine: %s\n",
                     Sandbox::unavailableReason().c_str());
        // For test runners a skip, unless in CI, where every test must run.
        const char* ci = std::getenv("CI");
        return ci && std::strcmp(ci, "true") == 0 ? 2 : 77;
    }
    Sandbox sandbox(arguments.options);
    if (!sandbox.ok()) {
        std::fprintf(stderr, "orvanta-sandbox: %s\n", sandbox.lastError().c_str());
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    int copy = -1;
    if (!arguments.syslogFile.empty()) {
        copy = open(arguments.syslogFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (copy < 0) {
            std::fprintf(stderr, "orvanta-sandbox: cannot open %s: %s\n", arguments.syslogFile.c_str(),
                         std::strerror(errno));
            return 2;
        }
        sandbox.syslog().copyTo(copy);
    }
    pid_t pid = sandbox.start(arguments.program);
    if (pid < 0) {
        std::fprintf(stderr, "orvanta-sandbox: cannot start %s: %s\n", arguments.program[0].c_str(),
                     sandbox.lastError().c_str());
        return 2;
    }
    int ns = holdMountNamespace(pid);
    int status = superviseUntilEnd(sandbox, pid, arguments.stopAfter, copy < 0);
    endWhatIsLeft(ns);
    if (ns >= 0)
        close(ns);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
