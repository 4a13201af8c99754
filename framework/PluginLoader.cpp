#include "PluginLoader.h"

#include "Logger.h"
#include "Plugin.h"
#include "PluginManager.h"

#include <dlfcn.h>
#include <cstring>

namespace {

// The dynamic linker's pending message; never null, so that it can be
// logged as it is.
const char* linkerMessage()
{
    const char* message = dlerror();
    return message ? message : "";
}

// Looks up an entry point. The lookup is judged by dlerror(), not by the
// address; the linker's message on failure, else null. entry stays null
// when the symbol was found but has no address, which is not callable.
const char* findEntryPoint(void* handle, const char* name, PluginEntryPoint& entry)
{
    dlerror();
    void* address = dlsym(handle, name);
    if (const char* error = dlerror())
        return error;
    entry = reinterpret_cast<PluginEntryPoint>(address);
    return nullptr;
}

} // namespace

PluginLoader::PluginLoader(PluginManager& owner) : manager(owner), handles(), paths(), count(0) {}

PluginLoader::~PluginLoader()
{
    for (unsigned i = 0; i < count; ++i)
        unloadPlugin(i);
}

bool PluginLoader::loadPlugin(const char* path)
{
    if (!path)
        return false;
    if (count == maxLibraries) {
        Logger::log(Logger::DBG, "Maximum number of libraries exceeded.");
        return false;
    }
    for (unsigned i = 0; i < count; ++i) {
        if (std::strcmp(path, paths[i]) == 0) {
            Logger::log(Logger::ERR, "Library already loaded: %s", path);
            return false;
        }
    }

    Logger::log(Logger::DBG, "Loading library: %s", path);
    void* handle = dlopen(path, RTLD_NOW);
    if (!handle) {
        Logger::log(Logger::ERR, "%s", linkerMessage());
        return false;
    }
    if (!initialise(handle)) {
        dlclose(handle);
        return false;
    }
    handles[count] = handle;
    paths[count] = path;
    ++count;
    Logger::log(Logger::DBG, "Library loaded: %s", path);
    return true;
}

bool PluginLoader::initialise(void* handle)
{
    PluginEntryPoint init = nullptr;
    if (const char* error = findEntryPoint(handle, "plugin_init", init)) {
        Logger::log(Logger::ERR, "%s", error);
        return false;
    }
    if (!init)
        return false;
    // What a failing plugin_init registered points into the library about
    // to be closed: it leaves the registry first.
    unsigned registered = manager.pluginCount();
    int result = init(&manager);
    if (result != 0) {
        Logger::log(Logger::ERR, "Plugin initialization function returned %d.", result);
        manager.unregisterFrom(registered);
        return false;
    }
    return true;
}

bool PluginLoader::unloadPlugin(unsigned index)
{
    Logger::log(Logger::DBG, "Unloading plugin: %s", paths[index]);
    bool finalised = false;
    PluginEntryPoint finalize = nullptr;
    if (const char* error = findEntryPoint(handles[index], "plugin_finalize", finalize)) {
        Logger::log(Logger::ERR, "%s", error);
    } else if (finalize) {
        int result = finalize(&manager);
        if (result != 0)
            Logger::log(Logger::ERR, "Plugin finalize function returned %d.", result);
        finalised = result == 0;
    }
    dlclose(handles[index]);
    return finalised;
}
