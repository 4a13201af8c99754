#include "SystemResourcesPlugin.h"

#include "SystemResourcesHandler.h"

#include <new>

const char* SystemResourcesPlugin::type() const
{
    return "system_resources";
}

PluginHandler* SystemResourcesPlugin::createHandler(PluginConfiguration& configuration,
                                                    AbstractAgent& agent) const
{
    return new (std::nothrow) SystemResourcesHandler(configuration, agent);
}
