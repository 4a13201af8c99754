// tessard-dev: the development agent. It takes the command line that the
// supervisor gives the host agent ("-vc" <configuration>) and shows on
// standard output what the real agent would send to the platform.
#include "DevAgent.h"
#include "Logger.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

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

} // namespace

int main(int argc, char** argv)
{
    unsigned char verbosity = 0;
    const char* configurationPath = nullptr;
    const char* answers = nullptr;
    long deviceId = 1;
    bool once = false;
    for (int option; (option = getopt(argc, argv, "vc:d:a:1")) != -1;) {
        switch (option) {
        case 'v':
            if (verbosity < 255)
                ++verbosity;
            break;
        case 'c':
            configurationPath = optarg;
            break;
        case 'd':
            if (!parseDeviceId(optarg, deviceId)) {
                std::fprintf(stderr, usage, argv[0]);
                return 2;
            }
            break;
        case 'a':
            answers = optarg;
            break;
        case '1':
            once = true;
            break;
        default:
            std::fprintf(stderr, usage, argv[0]);
            return 2;
        }
    }
    if (!configurationPath || optind != argc) {
        std::fprintf(stderr, usage, argv[0]);
        return 2;
    }
    Logger::instance()->setVerbosity(verbosity);

    if (!installStopHandler()) {
        Logger::log(Logger::ERR, "Cannot install the stop handler.");
        return 1;
    }

    DevAgent agent(stdout, deviceId);
    if (answers && !agent.loadAnswers(answers))
        return 1;
    if (!agent.start(configurationPath))
        return 1;
    Logger::log(Logger::MSG, "Agent running.");
    agent.run(stopPipe[0], once);
    Logger::log(Logger::MSG, "Agent stopped.");
    return 0;
}
