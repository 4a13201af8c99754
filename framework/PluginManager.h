#ifndef ORVANTA_FRAMEWORK_PLUGINMANAGER_H
#define ORVANTA_FRAMEWORK_PLUGINMANAGER_H

#include "Export.h"
#include "PluginLoader.h"

class Plugin;

// The registry of plug-in types, and the owner of the loader that opens
// the plug-in libraries. The host keeps one, loads its libraries through
// it, creates handlers from the registered plug-ins, deletes the handlers
// and destroys the manager last: destroying it finalises and closes every
// loaded library, in load order.
class ORVANTA_EXPORT PluginManager {
public:
    static constexpr unsigned maxPlugins = 128;

    PluginManager();
    PluginManager(const PluginManager&) = delete;
    PluginManager& operator=(const PluginManager&) = delete;

    unsigned pluginCount();
    // The plug-in registered in position index (registration order).
    // index must be below pluginCount(); null otherwise.
    Plugin* getPlugin(unsigned index);

    // Registers plugin by address unless the table is full or a plug-in of
    // the same type name (exact, case-sensitive) is registered; both
    // refusals are logged at ERR. A plug-in whose type() is null is
    // refused without a message. Plug-ins are never removed.
    bool addPlugin(Plugin& plugin);

    // PluginLoader::loadPlugin on this manager's loader.
    bool loadPlugin(const char* path);

private:
    friend class PluginLoader;

    // Forgets every plug-in registered from position first on: the loader
    // calls it when a library's plugin_init fails after registering, before
    // it closes the library that holds those plug-ins.
    ORVANTA_INTERNAL void unregisterFrom(unsigned first);

    // First, so that it is destroyed last: every plugin_finalize still
    // finds the registry in place.
    PluginLoader loader;
    Plugin* plugins[maxPlugins];
    unsigned count;
};

#endif
