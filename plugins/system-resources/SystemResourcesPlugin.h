#ifndef ORVANTA_SYSTEMRESOURCES_SYSTEMRESOURCESPLUGIN_H
#define ORVANTA_SYSTEMRESOURCES_SYSTEMRESOURCESPLUGIN_H

#include "Plugin.h"

// The plug-in type "system_resources": its handlers report the modem's
// identifiers to the platform inventory. Stateless; the library holds one
// static instance, registered by plugin_init.
class SystemResourcesPlugin : public Plugin {
public:
    const char* type() const override;
    // A new SystemResourcesHandler owned by the caller; null when memory
    // ran out. configuration and agent must outlive it.
    PluginHandler* createHandler(PluginConfiguration& configuration, AbstractAgent& agent) const override;
};

#endif
