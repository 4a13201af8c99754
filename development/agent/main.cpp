// tessard-dev: the development agent. It takes the command line that the
// supervisor gives the host agent ("-vc" <configuration>) and shows on
// standard output what the real agent would send to the platform.
#include "DevAgent.h"
#include "Logger.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

const char usage[] =
    "usage: %s [-v]... [-1] [-d device-id] [-a answers] -c configuration\n"
    "  -v  more log lines (repeat for debug lines)\n"
    "  -1  one round, then exit\n"
    "  -d  the device's managed-object id (default 1)\n"
    "  -a  a file of scripted platform answers\n"
    "  -c  the agent configuration file\n";

int stopPipe[2] = {-1, -1};

// Async-signal-safe: one byte into the pipe that the main loop polls.
void requestStop(int)
{
    int saved = errno;
    char byte = 0;
    ssize_t written = write(stopPipe[1], &byte, 1);
    (void)written;
    errno = saved;
}

bool installStopHandler()
{
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

bool parseDeviceId(const char* text, long& id)
{
    errno = 0;
    char* end = nullptr;
    id = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

struct Options {
    unsigned char verbosity = 0;
    const char* configurationPath = nullptr;
    const char* answers = nullptr;
    long deviceId = 1;
    bool once = false;
};

// False when the command line does not fit the usage text.
bool parseOptions(int argc, char** argv, Options& options)
{
    for (int option; (option = getopt(argc, argv, "vc:d:a:1")) != -1;) {
        switch (option) {
        case 'v':
            if (options.verbosity < 255)
                ++options.verbosity;
            break;
        case 'c':
            options.configurationPath = optarg;
            break;
        case 'd':
            if (!parseDeviceId(optarg, options.deviceId))
                return false;
            break;
        case 'a':
            options.answers = optarg;
            break;
        case '1':
            options.once = true;
            break;
        default:
            return false;
        }
    }
    return options.configurationPath && optind == argc;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, usage, argv[0]);
        return 2;
    }
    Logger::instance()->setVerbosity(options.verbosity);

    if (!installStopHandler()) {
        Logger::log(Logger::ERR, "Cannot install the stop handler.");
        return 1;
    }

    DevAgent agent(stdout, options.deviceId);
    if (options.answers && !agent.loadAnswers(options.answers))
        return 1;
    if (!agent.start(options.configurationPath))
        return 1;
    Logger::log(Logger::MSG, "Agent running.");
    agent.run(stopPipe[0], options.once);
    Logger::log(Logger::MSG, "Agent stopped.");
    return 0;
}
