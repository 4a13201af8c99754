// The library's entry points, called by the host's plug-in loader.
#include "Export.h"
#include "PluginManager.h"
#include "SystemResourcesPlugin.h"

namespace {

SystemResourcesPlugin aSystemResourcesPlugin;

} // namespace

extern "C" {

// Registers "system_resources"; 1 when the manager refused it (the
// manager's message says why).
ORVANTA_EXPORT int plugin_init(PluginManager* manager)
{
    return manager->addPlugin(aSystemResourcesPlugin) ? 0 : 1;
}

ORVANTA_EXPORT int plugin_finalize(PluginManager*)
{
    return 0;
}

}
