#ifndef ORVANTA_FRAMEWORK_PLUGINHANDLER_H
#define ORVANTA_FRAMEWORK_PLUGINHANDLER_H

#include "Export.h"

class AbstractAgent;
class PluginConfiguration;
class RequestClient;
class TemplateCollection;

// The base of every handler a Plugin creates. A derived handler passes the
// configuration and the agent on, implements init() and run(), and works
// with the members captured here rather than asking the agent again. The
// host owns handlers and deletes them through the virtual destructor; a
// handler owns none of the objects it points to.
class ORVANTA_EXPORT PluginHandler {
public:
    // Asks the agent, once each and in this order, for requestClient(),
    // templateCollection(), deviceId() and agentValue(), and nothing else.
    // configuration must outlive the handler.
    PluginHandler(PluginConfiguration& configuration, AbstractAgent& agent);
    virtual ~PluginHandler(); // slots 0, 1
    PluginHandler(const PluginHandler&) = delete;
    PluginHandler& operator=(const PluginHandler&) = delete;

    // One-time preparation, before the first run().
    virtual bool init() = 0; // slot 2
    // One unit of the handler's periodic work.
    virtual bool run() = 0; // slot 3

    // The group's "type" (null when absent) and "interval" (0 when absent).
    const char* type();
    int interval();

protected:
    AbstractAgent& agent;
    RequestClient* requestClient;
    TemplateCollection* templateCollection;
    // The agent may learn the id later: read through the pointer at each use.
    long* deviceId;
    // Kept for derived handlers; its meaning is the agent's.
    int agentValue;
    PluginConfiguration& configuration;
};

#endif
