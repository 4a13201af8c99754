#include "DevAgent.h"

#include "Logger.h"
#include "Plugin.h"
#include "PluginConfiguration.h"
#include "PluginHandler.h"

#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>

namespace {

long long monotonicMilliseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const char* shown(const char* text)
{
    return text ? text : "(none)";
}

} // namespace

DevAgent::DevAgent(FILE* wire, long deviceId)
    : configuration(),
      client(wire),
      templates(),
      agent(client, templates, deviceId),
      manager(),
      measurements(agent)
{
    agent.setMeasurementSupport(&measurements);
}

DevAgent::~DevAgent()
{
    // The handlers' code lives in the libraries that the manager closes.
    for (Scheduled& entry : handlers)
        delete entry.handler;
    handlers.clear();
}

bool DevAgent::start(const char* configurationPath)
{
    if (!configuration.read(configurationPath))
        return false;
    Logger::log(Logger::MSG, "Server %s, user %s, interval %d s.", shown(configuration.server()),
                shown(configuration.username()), configuration.interval());
    client.configure(configuration.server(), configuration.username(), configuration.password());

    for (unsigned i = 0; i < configuration.libraryCount(); ++i)
        manager.loadPlugin(configuration.library(i));
    createHandlers();

    // The stand-in platform learns the measurement support's message IDs
    // from what its init() registers.
    const std::size_t registered = std::strlen(templates.templateString());
    if (measurements.init())
        client.knowSupportedMeasurementTemplates(templates.templateString() + registered);
    else
        Logger::log(Logger::ERR, "Measurement support not initialised.");
    for (Scheduled& entry : handlers)
        if (!entry.handler->init())
            Logger::log(Logger::ERR, "Handler %s not initialised.", entry.handler->type());
    client.registerTemplates(templates.templateIdentifier(), templates.templateString());
    return true;
}

void DevAgent::createHandlers()
{
    for (unsigned i = 0; i < configuration.groupCount(); ++i) {
        std::unique_ptr<PluginConfiguration> group(new (std::nothrow)
                                                       PluginConfiguration(configuration.group(i)));
        if (!group)
            return;
        const char* type = group->type();
        Plugin* plugin = pluginOfType(type);
        if (!plugin) {
            Logger::log(Logger::WRN, "No plugin of type %s.", shown(type));
            continue;
        }
        PluginHandler* handler = plugin->createHandler(*group, agent);
        if (!handler) {
            Logger::log(Logger::ERR, "Plugin %s created no handler.", type);
            continue;
        }
        Logger::log(Logger::MSG, "Handler %s, interval %d s.", type, group->interval());
        handlers.push_back(Scheduled{std::move(group), handler, 0});
    }
}

Plugin* DevAgent::pluginOfType(const char* type)
{
    for (unsigned i = 0; type && i < manager.pluginCount(); ++i)
        if (std::strcmp(manager.getPlugin(i)->type(), type) == 0)
            return manager.getPlugin(i);
    return nullptr;
}

bool DevAgent::round(long long now)
{
    bool ran = false;
    for (Scheduled& entry : handlers) {
        if (entry.due < 0 || entry.due > now)
            continue;
        if (!entry.handler->run())
            Logger::log(Logger::ERR, "Handler %s failed.", entry.handler->type());
        ran = true;
        long long interval = entry.handler->interval();
        if (interval <= 0)
            entry.due = -1;
        else if ((entry.due += interval * 1000) <= now)
            entry.due = now + interval * 1000;
    }
    return ran;
}

long long DevAgent::nextDue() const
{
    long long next = -1;
    for (const Scheduled& entry : handlers)
        if (entry.due >= 0 && (next < 0 || entry.due < next))
            next = entry.due;
    return next;
}

void DevAgent::run(int stopFd, bool once)
{
    long long start = monotonicMilliseconds();
    for (Scheduled& entry : handlers)
        entry.due = start;
    for (;;) {
        if (round(monotonicMilliseconds()) && !measurements.sendAddedMeasurements())
            Logger::log(Logger::WRN, "Measurements kept for the next round.");
        if (once)
            return;
        long long next = nextDue();
        long long wait = next < 0 ? -1 : next - monotonicMilliseconds();
        if (wait < 0 && next >= 0)
            wait = 0;
        struct pollfd stop = {stopFd, POLLIN, 0};
        int ready = poll(&stop, 1, wait > INT_MAX ? INT_MAX : static_cast<int>(wait));
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            return;
    }
}
