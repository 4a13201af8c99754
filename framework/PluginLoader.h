#ifndef ORVANTA_FRAMEWORK_PLUGINLOADER_H
#define ORVANTA_FRAMEWORK_PLUGINLOADER_H

#include "Export.h"

class PluginManager;

// Opens plug-in libraries for a PluginManager and keeps them open until it
// is destroyed. Libraries are opened with RTLD_NOW and without
// RTLD_GLOBAL: their undefined symbols (host types, framework, libconfig)
// must all be found in the host process at once, and what they define is
// not offered to libraries opened later.
class ORVANTA_EXPORT PluginLoader {
public:
    static constexpr unsigned maxLibraries = 128;

    explicit PluginLoader(PluginManager& manager);
    // Finalises and closes every loaded library, the first-loaded first.
    ~PluginLoader();
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    // Opens the library at path, calls its plugin_init with the manager
    // and records it. path is given to dlopen unchanged and is kept, not
    // copied: it must stay valid while the library is loaded. A path
    // string already recorded is refused before dlopen (one file under two
    // path strings passes that test). Every failure is logged and leaves
    // the loader and the registry as they were: plug-ins that a failing
    // plugin_init registered are forgotten before the library is closed.
    // A null path is refused without a message.
    bool loadPlugin(const char* path);

    // Calls the plugin_finalize of the library in position index and
    // closes it, whatever the outcome; true when plugin_finalize was found
    // and returned 0. Leaves the tables as they are: the destructor calls
    // it exactly once for every recorded library, so a caller that unloads
    // a library itself must not let the loader be destroyed afterwards.
    bool unloadPlugin(unsigned index);

private:
    // Looks up and calls the library's plugin_init; false, logged, when it
    // is missing or fails (what it registered is then forgotten). The
    // caller closes the library on false.
    ORVANTA_INTERNAL bool initialise(void* handle);

    PluginManager& manager;
    void* handles[maxLibraries];
    const char* paths[maxLibraries];
    unsigned count;
};

#endif
