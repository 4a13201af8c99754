#ifndef ORVANTA_HOST_DEVAGENT_H
#define ORVANTA_HOST_DEVAGENT_H

#include "Agent.h"
#include "AgentConfiguration.h"
#include "MeasurementSupport.h"
#include "PluginManager.h"
#include "TemplateCollection.h"
#include "WireClient.h"

#include <cstdio>
#include <memory>
#include <vector>

class Plugin;
class PluginConfiguration;
class PluginHandler;

// The development agent: it plays the host agent tessard on a machine
// without one. It loads the plug-in libraries of its configuration, gives
// every plug-in group whose type is registered a handler, and runs each
// handler at its group's interval (seconds), sending the measurement
// queue after each round. What would go to the platform goes to the wire
// stream instead (WireClient).
class DevAgent {
public:
    DevAgent(FILE* wire, long deviceId);
    ~DevAgent();
    DevAgent(const DevAgent&) = delete;
    DevAgent& operator=(const DevAgent&) = delete;

    // The platform's answers, see WireClient::loadAnswers.
    bool loadAnswers(const char* path) { return client.loadAnswers(path); }

    // Reads the configuration, loads the libraries (one that cannot be
    // loaded is logged by the loader and left out), creates and
    // initialises the handlers and registers the templates. False only
    // when the configuration cannot be read.
    bool start(const char* configurationPath);

    // Runs rounds until stopFd becomes readable (a stop request), or after
    // the first round when once is set. A handler whose interval is not
    // positive runs in the first round only.
    void run(int stopFd, bool once);

    unsigned handlerCount() const { return static_cast<unsigned>(handlers.size()); }

private:
    struct Scheduled {
        std::unique_ptr<PluginConfiguration> configuration;
        PluginHandler* handler;
        long long due; // monotonic milliseconds; -1 when never again
    };

    void createHandlers();
    // The registered plug-in whose type is type; null when none is.
    Plugin* pluginOfType(const char* type);
    // Runs the handlers due at now; true when any ran.
    bool round(long long now);
    long long nextDue() const;

    // Declared before the plug-in manager: the loader keeps pointers to
    // the library names, which belong to the configuration.
    AgentConfiguration configuration;
    WireClient client;
    TemplateCollection templates;
    Agent agent;
    PluginManager manager;
    MeasurementSupport measurements;
    std::vector<Scheduled> handlers;
};

#endif
