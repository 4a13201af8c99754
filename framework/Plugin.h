#ifndef ORVANTA_FRAMEWORK_PLUGIN_H
#define ORVANTA_FRAMEWORK_PLUGIN_H

#include "Export.h"

class AbstractAgent;
class PluginConfiguration;
class PluginHandler;
class PluginManager;

// One plug-in type. A plug-in library owns its plug-in objects (as a rule
// one static object each) and registers them with PluginManager::addPlugin
// from plugin_init; neither the registry nor the loader ever deletes one.
class ORVANTA_EXPORT Plugin {
public:
    virtual ~Plugin() {} // slots 0, 1
    // The name the type is registered under, the same text that a
    // configuration group's "type" holds. Owned by the plug-in, valid as
    // long as the plug-in object.
    virtual const char* type() const = 0; // slot 2
    // A new handler, allocated with new, for one configuration group. The
    // caller owns it and deletes it through PluginHandler's destructor.
    // configuration must outlive the handler.
    virtual PluginHandler* createHandler(PluginConfiguration& configuration,
                                         AbstractAgent& agent) const = 0; // slot 3
};

// The two entry points of every plug-in library, under these plain names.
// Both get the manager whose loader opened the library and return 0 on
// success. plugin_init runs once, right after the library is opened, and
// registers the library's plug-in types; without it the library is not
// loaded. plugin_finalize runs once, just before the library is closed;
// its failure is only logged.
extern "C" {
ORVANTA_EXPORT int plugin_init(PluginManager* manager);
ORVANTA_EXPORT int plugin_finalize(PluginManager* manager);
}

// The type of both entry points, as the loader calls them.
typedef int (*PluginEntryPoint)(PluginManager* manager);

#endif
