// The library's entry points, called by the host's plug-in loader.
#include "Plugin.h"
#include "PluginManager.h"
#include "SystemResourcesPlugin.h"

namespace {

SystemResourcesPlugin aSystemResourcesPlugin;

} // namespace

// Registers "system_resources"; 1 when the manager refused it (the
// manager's message says why).
int plugin_init(PluginManager* manager)
{
    return manager->addPlugin(aSystemResourcesPlugin) ? 0 : 1;
}

int plugin_finalize(PluginManager*)
{
    return 0;
}
