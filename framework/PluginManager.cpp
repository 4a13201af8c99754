#include "PluginManager.h"

#include "Logger.h"
#include "Plugin.h"

#include <cstring>

PluginManager::PluginManager() : loader(*this), plugins(), count(0) {}

unsigned PluginManager::pluginCount()
{
    return count;
}

Plugin* PluginManager::getPlugin(unsigned index)
{
    return index < count ? plugins[index] : nullptr;
}

bool PluginManager::addPlugin(Plugin& plugin)
{
    if (count == maxPlugins) {
        Logger::log(Logger::ERR, "Maximum number of plugins exceeded.");
        return false;
    }
    const char* type = plugin.type();
    if (!type)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        if (std::strcmp(type, plugins[i]->type()) == 0) {
            Logger::log(Logger::ERR, "Plugin %s already registered.", type);
            return false;
        }
    }
    plugins[count++] = &plugin;
    Logger::log(Logger::DBG, "Plugin %s registered.", type);
    return true;
}

void PluginManager::unregisterFrom(unsigned first)
{
    if (first < count)
        count = first;
}

bool PluginManager::loadPlugin(const char* path)
{
    return loader.loadPlugin(path);
}
