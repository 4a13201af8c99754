#include "PluginHandler.h"

#include "HostTypes.h"
#include "PluginConfiguration.h"

// The members are initialised in declaration order, which is the order the
// agent is asked in.
PluginHandler::PluginHandler(PluginConfiguration& groupConfiguration, AbstractAgent& hostAgent)
    : agent(hostAgent),
      requestClient(hostAgent.requestClient()),
      templateCollection(hostAgent.templateCollection()),
      deviceId(hostAgent.deviceId()),
      agentValue(hostAgent.agentValue()),
      configuration(groupConfiguration)
{
}

PluginHandler::~PluginHandler() {}

const char* PluginHandler::type()
{
    return configuration.type();
}

int PluginHandler::interval()
{
    return configuration.interval();
}
